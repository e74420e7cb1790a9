#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "ChildProcess.h"
#include "Files.h"
#include "TempDir.h"
#include "VMZipArchive.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::TempDir;

void writeFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string patterned(std::size_t size, unsigned seed) {
    std::string out(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x % 7 == 0 ? x >> 8 : 'a' + x % 3);
    }
    return out;
}

// Runs a zip tool in the directory; its exit status.
int runTool(std::vector<std::string> args, const fs::path& directory = {}) {
    ChildProcess child(ChildProcess::Options{std::move(args), {}, {}, directory, {}, true});
    return child.waitForExit().value_or(-1);
}

struct Recorder : VMZipArchiveDelegate {
    std::vector<std::string> messages;
    std::vector<std::string> asked;
    std::optional<bool> answer;
    void ErrorMessage(const std::string& message) override { messages.push_back(message); }
    std::optional<bool> OverWriteOperation(const std::string& path) override {
        asked.push_back(path);
        return answer;
    }
};

// Makes an archive with ours from {entry name: content}.
void makeArchive(const TempDir& dir, const std::string& archive,
                 const std::vector<std::pair<std::string, std::string>>& entries,
                 const std::string& password = {}) {
    auto zip = VMZipArchive::create();
    ASSERT_TRUE(password.empty() ? zip->CreateZipFile2(archive)
                                 : zip->CreateZipFile2(archive, password));
    int n = 0;
    for (const auto& [name, content] : entries) {
        const std::string source = dir / ("source-" + std::to_string(n++));
        writeFile(source, content);
        ASSERT_TRUE(zip->addFileToZip(source, name)) << name;
    }
    ASSERT_TRUE(zip->CloseZipFile2());
}

TEST(ZipArchive, OurArchivesPassTheZipToolsAndUnpackBackWithAndWithoutPassword) {
    for (const std::string password : {"", "s3cret"}) {
        TempDir dir;
        const std::vector<std::pair<std::string, std::string>> entries = {
            {"vmap/grid/1.dat", patterned(300000, 1)},
            {"vmap/empty.dat", ""},
            {"readme.txt", "offline\n"}};
        const std::string archive = dir / "ours.zip";
        makeArchive(dir, archive, entries, password);

        std::vector<std::string> test = {"/usr/bin/unzip", "-t"};
        if (!password.empty()) test.insert(test.end(), {"-P", password});
        test.push_back(archive);
        EXPECT_EQ(runTool(test), 0) << password;

        auto zip = VMZipArchive::create();
        ASSERT_TRUE(password.empty() ? zip->UnzipOpenFile(archive)
                                     : zip->UnzipOpenFile(archive, password));
        EXPECT_EQ(zip->numFiles(), 3u);
        EXPECT_THAT(zip->getZipFileContents(),
                    testing::ElementsAre("vmap/grid/1.dat", "vmap/empty.dat", "readme.txt"));
        ASSERT_TRUE(zip->UnzipFileTo(dir / "out", true));
        EXPECT_TRUE(zip->UnzipCloseFile());
        EXPECT_EQ(testsupport::fileTree(dir.path() / "out"),
                  (std::map<std::string, std::string>(entries.begin(), entries.end())));
        EXPECT_EQ(zip->unzippedFiles().size(), 3u);
    }
}

TEST(ZipArchive, PasswordArchivesOfTheZipToolOpenOnlyWithTheirPassword) {
    TempDir dir;
    const std::string content = patterned(100000, 9);
    writeFile(dir.path() / "src" / "secret.bin", content);
    ASSERT_EQ(runTool({"/usr/bin/zip", "-q", "-P", "s3cret", dir / "p.zip", "secret.bin"},
                      dir.path() / "src"),
              0);
    // A wrong password fails the encryption's one-byte check, or once in 256 passes it and
    // fails on the data it decrypts (what was written of it stays, as any entry's that fails
    // does): many wrong ones meet both ways.
    std::vector<std::string> passwords{"s3cret"};
    for (int i = 0; i < 600; ++i) passwords.push_back("wrong" + std::to_string(i));
    for (const std::string& password : passwords) {
        SCOPED_TRACE(password);
        auto delegate = std::make_shared<Recorder>();
        auto archive = VMZipArchive::create();
        archive->setDelegate(delegate);
        ASSERT_TRUE(archive->UnzipOpenFile(dir / "p.zip", password));
        const bool right = password == "s3cret";
        EXPECT_EQ(archive->UnzipFileTo(dir / password, true), right);
        if (right) {
            EXPECT_TRUE(testsupport::readFile(dir.path() / password / "secret.bin") == content);
        } else {
            EXPECT_FALSE(delegate->messages.empty());
            const auto out = dir.path() / password / "secret.bin";
            EXPECT_FALSE(fs::exists(out) && testsupport::readFile(out) == content);
        }
    }
}

TEST(ZipArchive, BackslashNamesMakeFoldersProgressCountsEntriesAndTimesKeep) {
    TempDir dir;
    makeArchive(dir, dir / "b.zip",
                {{"a\\b.txt", "ab"}, {"c\\d\\", ""}, {"e.txt", "e"}, {"f\\g\\h.txt", "h"}});
    // Entry times are seconds since 1980, both ways.
    const std::string source = dir / "f";
    writeFile(source, "x");
    const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
    fs::last_write_time(source, std::chrono::time_point_cast<std::chrono::seconds>(stamp));
    auto timed = VMZipArchive::create();
    ASSERT_TRUE(timed->CreateZipFile2(dir / "t.zip"));
    ASSERT_TRUE(timed->addFileToZip(source, "f"));
    ASSERT_TRUE(timed->CloseZipFile2());
    ASSERT_TRUE(timed->UnzipOpenFile(dir / "t.zip"));
    ASSERT_TRUE(timed->UnzipFileTo(dir / "timed", true));
    EXPECT_EQ(fs::last_write_time(dir.path() / "timed" / "f"), fs::last_write_time(source));

    auto zip = VMZipArchive::create();
    std::vector<std::array<int, 3>> progress;
    zip->setProgressBlock([&](int p, int done, int count) {
        progress.push_back({p, done, count});
    });
    ASSERT_TRUE(zip->UnzipOpenFile(dir / "b.zip"));
    ASSERT_TRUE(zip->UnzipFileTo(dir / "out", true));
    EXPECT_EQ(testsupport::readFile(dir.path() / "out" / "a" / "b.txt"), "ab");
    EXPECT_TRUE(fs::is_directory(dir.path() / "out" / "c" / "d"));
    EXPECT_EQ(testsupport::readFile(dir.path() / "out" / "f" / "g" / "h.txt"), "h");
    EXPECT_EQ(progress,
              (std::vector<std::array<int, 3>>{{25, 1, 4}, {50, 2, 4}, {75, 3, 4}, {100, 4, 4}}));
}

TEST(ZipArchive, OverwriteAsksTheDelegateOnlyWhenNotAllowed) {
    TempDir dir;
    makeArchive(dir, dir / "o.zip", {{"keep.txt", "new"}});
    const struct {
        bool overWrite;
        std::optional<bool> answer;
        std::string expected;
        std::size_t asked;
    } cases[] = {{false, false, "old", 1},
                 {false, true, "new", 1},
                 {false, std::nullopt, "new", 1},
                 {true, false, "new", 0}};
    for (const auto& c : cases) {
        writeFile(dir.path() / "out" / "keep.txt", "old");
        auto delegate = std::make_shared<Recorder>();
        delegate->answer = c.answer;
        auto zip = VMZipArchive::create();
        zip->setDelegate(delegate);
        ASSERT_TRUE(zip->UnzipOpenFile(dir / "o.zip"));
        EXPECT_TRUE(zip->UnzipFileTo(dir / "out", c.overWrite));
        EXPECT_EQ(testsupport::readFile(dir.path() / "out" / "keep.txt"), c.expected);
        EXPECT_EQ(delegate->asked.size(), c.asked);
    }
}

// Flips one byte of the first entry's data, which begins after its local header.
void flipFirstEntryByte(const fs::path& archive, std::size_t into) {
    std::string bytes = testsupport::readFile(archive);
    const auto u16 = [&](std::size_t at) {
        return static_cast<std::size_t>(static_cast<unsigned char>(bytes[at]) |
                                        static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    const std::size_t data = 30 + u16(26) + u16(28);
    bytes[data + into] = static_cast<char>(bytes[data + into] ^ 0x5a);
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(ZipArchive, DamagedEntryDataFailsTheUnpacking) {
    for (const bool stored : {true, false}) {
        TempDir dir;
        writeFile(dir.path() / "src" / "data.bin", patterned(50000, 3));
        ASSERT_EQ(runTool({"/usr/bin/zip", "-q", stored ? "-0" : "-6", dir / "d.zip", "data.bin"},
                          dir.path() / "src"),
                  0);
        flipFirstEntryByte(dir.path() / "d.zip", 1000);

        auto delegate = std::make_shared<Recorder>();
        auto archive = VMZipArchive::create();
        archive->setDelegate(delegate);
        ASSERT_TRUE(archive->UnzipOpenFile(dir / "d.zip"));
        EXPECT_FALSE(archive->UnzipFileTo(dir / "out", true));
        if (stored) {
            EXPECT_THAT(delegate->messages,
                        testing::ElementsAre("file was unzipped but failed crc check"));
        } else {
            EXPECT_THAT(delegate->messages,
                        testing::Contains(testing::AnyOf("file was unzipped but failed crc check",
                                                         "Failed to read zip file")));
        }
    }
}

TEST(ZipArchive, HostileNamesWriteNothingOutsideTheDestination) {
    TempDir dir;
    const fs::path sentinel = dir.path() / "sentinel";
    const fs::path dest = dir.path() / "dest";
    fs::create_directories(sentinel);
    fs::create_directories(dest);
    fs::create_directory_symlink(sentinel, dest / "link");
    const std::vector<std::string> hostile = {
        "../x", (sentinel / "abs").string(), "a/../../x", "..\\x", "link/x", "caf\xc3\xa9.txt"};
    for (const auto& name : hostile) {
        makeArchive(dir, dir / "h.zip", {{"fine.txt", "fine"}, {name, "evil"}});
        auto delegate = std::make_shared<Recorder>();
        auto zip = VMZipArchive::create();
        zip->setDelegate(delegate);
        ASSERT_TRUE(zip->UnzipOpenFile(dir / "h.zip"));
        EXPECT_FALSE(zip->UnzipFileTo(dest.string(), true)) << name;
        EXPECT_EQ(delegate->messages.size(), 1u) << name;
        EXPECT_EQ(testsupport::readFile(dest / "fine.txt"), "fine") << name;
        EXPECT_TRUE(fs::is_empty(sentinel)) << name;
        EXPECT_FALSE(fs::exists(dir.path() / "x")) << name;
    }
}

// Patches the uncompressed size that an archive's only entry declares, in its local header and
// in the central directory.
void declareSize(const fs::path& archive, std::uint32_t size) {
    std::string bytes = testsupport::readFile(archive);
    const auto patch = [&](const std::string& signature, std::size_t offset) {
        const std::size_t at = bytes.find(signature);
        ASSERT_NE(at, std::string::npos);
        for (int i = 0; i < 4; ++i) bytes[at + offset + i] = static_cast<char>(size >> (8 * i));
    };
    patch("PK\x03\x04", 22);
    patch("PK\x01\x02", 24);
    std::ofstream(archive, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(ZipArchive, BombsAreRefusedBeforeTheirFirstByteAndEntriesStopAtTheirDeclaredSize) {
    TempDir dir;
    makeArchive(dir, dir / "bomb.zip",
                {{"a", std::string(600, 'a')}, {"b", std::string(600, 'b')}});
    std::uint64_t free = 1000;  // each entry fits, the two do not
    auto zip = VMZipArchive::create();
    zip->setFreeSpaceQuery([&free](const std::string&) { return std::optional(free); });
    ASSERT_TRUE(zip->UnzipOpenFile(dir / "bomb.zip"));
    EXPECT_FALSE(zip->UnzipFileTo(dir / "out", true));
    EXPECT_TRUE(testsupport::fileTree(dir.path() / "out").empty());
    free = 1200;
    EXPECT_TRUE(zip->UnzipFileTo(dir / "out", true));
    EXPECT_EQ(testsupport::fileTree(dir.path() / "out").size(), 2u);

    makeArchive(dir, dir / "liar.zip", {{"liar", std::string(100000, 'x')}});
    declareSize(dir.path() / "liar.zip", 1000);
    auto liar = VMZipArchive::create();
    ASSERT_TRUE(liar->UnzipOpenFile(dir / "liar.zip"));
    EXPECT_FALSE(liar->UnzipFileTo(dir / "liar", true));
    EXPECT_LE(fs::file_size(dir.path() / "liar" / "liar"), 1000u);
}

TEST(ZipArchive, FileEntryThatCannotBeOpenedFailsAndPartialArchivesDoNotOpen) {
    TempDir dir;
    makeArchive(dir, dir / "c.zip", {{"clash", "file"}});
    fs::create_directories(dir.path() / "out" / "clash");
    auto zip = VMZipArchive::create();
    ASSERT_TRUE(zip->UnzipOpenFile(dir / "c.zip"));
    EXPECT_FALSE(zip->UnzipFileTo(dir / "out", true));

    makeArchive(dir, dir / "p.zip", {{"big", patterned(100000, 5)}});
    fs::resize_file(dir.path() / "p.zip", fs::file_size(dir.path() / "p.zip") / 2);
    EXPECT_FALSE(zip->UnzipOpenFile(dir / "p.zip"));
}

}  // namespace
