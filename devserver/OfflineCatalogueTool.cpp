#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "OfflineEndpoints.h"
#include "VMOfflinePackage.h"

// Writes the offline catalogue that the map kit ships from the devserver's own package list, so
// the catalogue an app starts with and the packages the server offers cannot drift apart. Its
// URLs are relative: the kit resolves them against the map data server it is set to.
//   brisfold-offline-catalogue OUTPUT
int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: brisfold-offline-catalogue OUTPUT\n";
        return 2;
    }
    const std::filesystem::path output = argv[1];
    std::error_code error;
    std::filesystem::create_directories(output.parent_path(), error);
    VMOfflinePackage::registerClasses();
    const auto package = VMOfflinePackage::packageWithDictionary(devserver::offlineCatalogue(""));
    // Written aside and renamed: several build trees may write the one bundle at once.
    const std::string aside = output.string() + "." + std::to_string(::getpid());
    if (!package || !package->writeToFile(aside)) {
        std::cerr << "cannot write " << aside << "\n";
        return 1;
    }
    std::filesystem::rename(aside, output, error);
    if (error) {
        std::cerr << "cannot write " << output << ": " << error.message() << "\n";
        std::filesystem::remove(aside, error);
        return 1;
    }
    return 0;
}
