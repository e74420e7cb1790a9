#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "TempDir.h"

namespace {

using testsupport::TempDir;

namespace fs = std::filesystem;

class FileManagerTest : public ::testing::Test {
  protected:
    bool write(const std::string& path, const std::string& text) {
        return fm->createFileAtPath(path, NSDataFromString(text));
    }
    std::string read(const std::string& path) {
        auto data = fm->contentsAtPath(path);
        return data ? NSStringFromData(*data) : "<missing>";
    }

    TempDir dir;
    std::shared_ptr<NSFileManager> fm = NSFileManager::defaultManager();
};

TEST(AppHomeTest, StandardDirectoriesLiveUnderTheChosenHomeOrTheXdgOne) {
    TempDir temp;
    const std::string home = temp / "home";
    NSSetHomeDirectory(home);
    const std::pair<NSSearchPathDirectory, const char*> standard[] = {
        {NSDocumentDirectory, "/Documents"},
        {NSCachesDirectory, "/Library/Caches"},
        {NSLibraryDirectory, "/Library"}};
    for (const auto& [directory, path] : standard) {
        EXPECT_EQ(NSSearchPathForDirectoriesInDomains(directory, NSUserDomainMask),
                  std::vector<std::string>{home + path});
    }
    EXPECT_EQ(NSTemporaryDirectory(), home + "/tmp/");
    EXPECT_EQ(NSHomeSubdirectory("Library/Preferences"), home + "/Library/Preferences");
    for (const char* sub : {"Documents", "Library/Caches", "Library/Preferences", "tmp"})
        EXPECT_TRUE(fs::is_directory(fs::path(home) / sub)) << sub;

    // Unless chosen, the home follows XDG_DATA_HOME.
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string previous = saved ? saved : "";
    setenv("XDG_DATA_HOME", "/srv/data", 1);
    EXPECT_EQ(NSDefaultHomeDirectory(), "/srv/data/brisfold");
    unsetenv("XDG_DATA_HOME");
    const char* userHome = std::getenv("HOME");
    EXPECT_EQ(NSDefaultHomeDirectory(),
              (fs::path(userHome ? userHome : "/tmp") / ".local/share/brisfold").string());
    if (saved) setenv("XDG_DATA_HOME", previous.c_str(), 1);
}

TEST_F(FileManagerTest, CreatesListsAndEnumeratesDirectories) {
    NSError error;
    EXPECT_TRUE(fm->createDirectoryAtPath(dir / "a/b/c", true, &error));
    EXPECT_TRUE(fm->createDirectoryAtPath(dir / "a/b/c", true, &error));
    EXPECT_FALSE(fm->createDirectoryAtPath(dir / "a/b/c", false, &error));
    EXPECT_EQ(error.code, NSFileWriteFileExistsError);
    EXPECT_FALSE(fm->createDirectoryAtPath(dir / "x/y", false, &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
    ASSERT_TRUE(write(dir / "a/file.txt", "old"));
    ASSERT_TRUE(write(dir / "a/file.txt", "hello"));
    EXPECT_EQ(read(dir / "a/file.txt"), "hello");
    EXPECT_FALSE(fm->createFileAtPath(dir / "x/f", NSDataFromString("x"), &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
    EXPECT_FALSE(fm->contentsAtPath(dir / "x/f", &error));
    EXPECT_EQ(error.code, NSFileReadNoSuchFileError);
    EXPECT_FALSE(fm->createDirectoryAtPath(dir / "a/file.txt", true, &error));

    bool isDirectory = false;
    EXPECT_TRUE(fm->fileExistsAtPath(dir / "a/b", &isDirectory));
    EXPECT_TRUE(isDirectory);
    EXPECT_FALSE(fm->fileExistsAtPath(dir / "nothing"));

    EXPECT_EQ(fm->contentsOfDirectoryAtPath(dir / "a"),
              (std::vector<std::string>{"b", "file.txt"}));
    EXPECT_FALSE(fm->contentsOfDirectoryAtPath(dir / "nothing", &error));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_EQ(error.code, NSFileReadNoSuchFileError);
    EXPECT_EQ(error.userInfo["NSUnderlyingError"]["domain"], NSPOSIXErrorDomain);
    EXPECT_EQ(error.userInfo["NSUnderlyingError"]["code"], ENOENT);

    // Enumerated as relative paths, skipping where told.
    ASSERT_TRUE(fm->createDirectoryAtPath(dir / "a/skipped/inner", true));
    ASSERT_TRUE(write(dir / "a/b/c/leaf.txt", "2"));
    ASSERT_TRUE(write(dir / "a/skipped/inner/hidden.txt", "3"));
    auto enumerator = fm->enumeratorAtPath(dir / "a");
    ASSERT_TRUE(enumerator);
    std::vector<std::string> seen;
    while (auto path = enumerator->nextObject()) {
        seen.push_back(*path);
        if (*path == "skipped") enumerator->skipDescendants();
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::string>{"b", "b/c", "b/c/leaf.txt", "file.txt", "skipped"}));
    EXPECT_FALSE(fm->enumeratorAtPath(dir / "a/file.txt"));
    EXPECT_FALSE(fm->enumeratorAtPath(dir / "missing"));
}

TEST_F(FileManagerTest, MovesCopiesAndRemovesWithoutLosingData) {
    ASSERT_TRUE(fm->createDirectoryAtPath(dir / "tree/sub", true));
    ASSERT_TRUE(write(dir / "tree/sub/data.bin", "payload"));
    ASSERT_TRUE(fm->createSymbolicLinkAtPath(dir / "tree/link", "sub/data.bin"));

    NSError error;
    ASSERT_TRUE(fm->copyItemAtPath(dir / "tree", dir / "copy", &error));
    EXPECT_EQ(read(dir / "copy/sub/data.bin"), "payload");
    EXPECT_EQ(fm->destinationOfSymbolicLinkAtPath(dir / "copy/link"), "sub/data.bin");

    ASSERT_TRUE(write(dir / "other.txt", "keep me"));
    EXPECT_FALSE(fm->copyItemAtPath(dir / "tree", dir / "other.txt", &error));
    EXPECT_EQ(error.code, NSFileWriteFileExistsError);
    EXPECT_FALSE(fm->moveItemAtPath(dir / "copy/sub/data.bin", dir / "other.txt", &error));
    EXPECT_EQ(error.code, NSFileWriteFileExistsError);
    EXPECT_EQ(read(dir / "other.txt"), "keep me");
    EXPECT_EQ(read(dir / "copy/sub/data.bin"), "payload");

    ASSERT_TRUE(fm->moveItemAtPath(dir / "copy", dir / "moved", &error));
    EXPECT_FALSE(fm->fileExistsAtPath(dir / "copy"));
    EXPECT_EQ(read(dir / "moved/sub/data.bin"), "payload");
    EXPECT_FALSE(fm->moveItemAtPath(dir / "copy", dir / "again", &error));
    EXPECT_EQ(error.code, NSFileReadNoSuchFileError);

    ASSERT_TRUE(fm->removeItemAtPath(dir / "moved", &error));
    EXPECT_FALSE(fm->removeItemAtPath(dir / "moved", &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
    // Removing a link removes the link, not what it points at.
    ASSERT_TRUE(fm->removeItemAtPath(dir / "tree/link"));
    EXPECT_EQ(read(dir / "tree/sub/data.bin"), "payload");
}

TEST_F(FileManagerTest, ReadsAndSetsAttributes) {
    ASSERT_TRUE(write(dir / "f.txt", "12345"));
    NSError error;
    auto attributes = fm->attributesOfItemAtPath(dir / "f.txt", &error);
    ASSERT_TRUE(attributes);
    EXPECT_EQ(attributes->size, 5u);
    EXPECT_EQ(attributes->type, NSFileType::Regular);

    const NSDate when = NSDateWithTimeIntervalSince1970(1600000000.5);
    ASSERT_TRUE(fm->setModificationDate(when, dir / "f.txt", &error));
    attributes = fm->attributesOfItemAtPath(dir / "f.txt");
    ASSERT_TRUE(attributes);
    EXPECT_DOUBLE_EQ(NSDateTimeIntervalSince1970(attributes->modificationDate), 1600000000.5);
    EXPECT_FALSE(fm->setModificationDate(when, dir / "missing", &error));

    ASSERT_TRUE(fm->createSymbolicLinkAtPath(dir / "l", "f.txt"));
    EXPECT_EQ(fm->attributesOfItemAtPath(dir / "l")->type, NSFileType::SymbolicLink);
    EXPECT_EQ(fm->destinationOfSymbolicLinkAtPath(dir / "l"), "f.txt");
    EXPECT_FALSE(fm->destinationOfSymbolicLinkAtPath(dir / "f.txt", &error));
    EXPECT_EQ(error.domain, NSCocoaErrorDomain);
    EXPECT_FALSE(fm->attributesOfItemAtPath(dir / "missing", &error));
    EXPECT_EQ(error.code, NSFileReadNoSuchFileError);

    auto fsAttributes = fm->attributesOfFileSystemForPath(dir.path().string());
    ASSERT_TRUE(fsAttributes);
    EXPECT_GT(fsAttributes->systemSize, 0u);
    EXPECT_LE(fsAttributes->systemFreeSize, fsAttributes->systemSize);
    EXPECT_FALSE(fm->attributesOfFileSystemForPath(dir / "missing/x", &error));
}

TEST_F(FileManagerTest, ExcludeFromBackupMarkReadsBack) {
    ASSERT_TRUE(fm->createDirectoryAtPath(dir / "vmap", true));
    NSError error;
    if (!fm->setExcludedFromBackup(true, dir / "vmap", &error) &&
        error.userInfo["NSUnderlyingError"]["code"] == ENOTSUP)
        GTEST_SKIP() << "no user xattrs on this file system";
    EXPECT_TRUE(fm->isExcludedFromBackup(dir / "vmap"));
    char value[8] = {};
    EXPECT_EQ(::getxattr((dir / "vmap").c_str(), "user.brisfold.exclude-from-backup", value,
                         sizeof value),
              1);
    ASSERT_TRUE(fm->setExcludedFromBackup(false, dir / "vmap", &error));
    EXPECT_FALSE(fm->isExcludedFromBackup(dir / "vmap"));
    EXPECT_FALSE(fm->setExcludedFromBackup(true, dir / "missing", &error));
    EXPECT_EQ(error.code, NSFileNoSuchFileError);
    EXPECT_FALSE(fm->isExcludedFromBackup(dir / "missing"));
}

}  // namespace
