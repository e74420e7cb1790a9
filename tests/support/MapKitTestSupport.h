#pragma once

#include <dirent.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "vmap_core/MapEngineInternal.h"

namespace testsupport {

// A grid as the map server answers it: four bytes, the name after its length, then the data.
inline std::vector<uint8_t> gridReply(const std::string& name,
                                      const std::vector<uint8_t>& data = {1, 2, 3}) {
    std::vector<uint8_t> bytes(4, 0);
    bytes.push_back(static_cast<uint8_t>(name.size()));
    bytes.insert(bytes.end(), name.begin(), name.end());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// Hands the engine a grid and waits until its worker has stored it.
inline ::testing::AssertionResult holdGrid(MapEngine* engine, int type, const std::string& name,
                                           const std::vector<uint8_t>& data = {1, 2, 3}) {
    const auto bytes = gridReply(name, data);
    if (mapEnginePutGridData(engine, type, bytes.data(), static_cast<int32_t>(bytes.size())) != 1)
        return ::testing::AssertionFailure() << "the engine refused grid " << name;
    if (!mapEngineWaitForStores(engine,
                                std::chrono::steady_clock::now() + std::chrono::seconds(20)))
        return ::testing::AssertionFailure() << "grid " << name << " was not stored";
    return ::testing::AssertionSuccess();
}

// RGBA rows of a square picture of `side` pixels in four quarters: north-west, north-east,
// south-west, south-east.
inline std::vector<uint8_t> quarteredRGBA(int side, const uint8_t (&colours)[4][3]) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const auto& c = colours[(y >= side / 2 ? 2 : 0) + (x >= side / 2 ? 1 : 0)];
            rgba.insert(rgba.end(), {c[0], c[1], c[2], 255});
        }
    }
    return rgba;
}

// A thread of this process as /proc shows it: its id, name and the CPU time it has used so far,
// in clock ticks.
struct ProcessThread {
    std::string id;
    std::string name;
    long ticks = 0;
};

inline std::vector<ProcessThread> processThreads() {
    std::vector<ProcessThread> threads;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return threads;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        ProcessThread thread{entry->d_name, {}, 0};
        std::getline(std::ifstream(task + "/comm"), thread.name);
        std::string line;
        std::getline(std::ifstream(task + "/stat"), line);
        // "pid (comm) state ...": user and system time are the 12th and 13th fields after the
        // last parenthesis.
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream fields(line.substr(close + 2));
        std::string field;
        for (int i = 1; i <= 13 && fields >> field; ++i)
            if (i >= 12) thread.ticks += std::stol(field);
        threads.push_back(thread);
    }
    closedir(dir);
    return threads;
}

// The ids of this process's threads of the name, lowest first.
inline std::vector<long> threadsNamed(const std::string& name) {
    std::vector<long> ids;
    for (const auto& thread : processThreads())
        if (thread.name == name) ids.push_back(std::stol(thread.id));
    std::sort(ids.begin(), ids.end());
    return ids;
}

}  // namespace testsupport
