#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "EngineRecorder.h"
#include "vmap_core/MapEngine.h"
#include "vmap_core/MapEngineInternal.h"

// A created and initialised engine with every callback recorded.
class EngineFixture : public ::testing::Test {
  protected:
    // Level 4 grids "1320" (x 12, y 6) and "1321" (x 13, y 6) fill a 500 x 250 view at zoom 4.
    static constexpr int32_t kPairCenterX = 13 << 24;
    static constexpr int32_t kPairCenterY = 13 << 23;

    void SetUp() override {
        EngineCreationRecord record{};
        std::strcpy(record.dataDirectory, "/tmp/zaroruda/data/");
        std::strcpy(record.fontName, "Sans Bold");
        engine = mapEngineCreate(&record);
        ASSERT_NE(engine, nullptr);
        recorder.attach(engine);
        mapEngineInit(engine);
    }

    void TearDown() override { mapEngineDestroy(engine); }

    void setView(int32_t x, int32_t y, float zoom, float pitch = 0, float rotation = 0) {
        MapViewState* view = mapEngineGetViewState(engine);
        ASSERT_NE(view, nullptr);
        mapEngineSetCenter(view, x, y);
        mapEngineSetZoomLevel(view, zoom);
        mapEngineSetCameraPitch(view, pitch);
        mapEngineSetRotation(view, rotation);
        mapEngineUpdateView(view);
    }

    void showPair() {
        mapEngineSetSurfaceSize(engine, 500, 250);
        setView(kPairCenterX, kPairCenterY, 4.0f);
    }

    // One record body of a map data answer.
    static std::vector<uint8_t> body(const std::string& name,
                                     std::vector<uint8_t> data = {1, 2, 3}) {
        std::vector<uint8_t> bytes(4, 0);
        bytes.push_back(static_cast<uint8_t>(name.size()));
        bytes.insert(bytes.end(), name.begin(), name.end());
        bytes.insert(bytes.end(), data.begin(), data.end());
        return bytes;
    }

    int put(MapDataType type, const std::vector<uint8_t>& bytes, MapEngine* target = nullptr) {
        return mapEnginePutGridData(target != nullptr ? target : engine, type, bytes.data(),
                                    static_cast<int32_t>(bytes.size()));
    }

    // (name, status) entries of mapEngineGetCurrentTiles.
    std::vector<std::pair<std::string, int>> currentTiles(MapDataType type) {
        std::vector<uint8_t> buffer(4000, 0);
        const int count = mapEngineGetCurrentTiles(engine, buffer.data(), 4000, type);
        EXPECT_EQ(count, buffer[0]);
        std::vector<std::pair<std::string, int>> tiles;
        size_t at = 1;
        for (int i = 0; i < count; ++i) {
            const size_t length = buffer[at];
            tiles.emplace_back(std::string(reinterpret_cast<char*>(&buffer[at + 1]), length),
                               buffer[at + 1 + length]);
            at += length + 2;
        }
        return tiles;
    }

    // Waits until worker A has stored what was put, then renders a frame and tells whether the
    // engine shows the grid as held.
    bool renderUntilHeld(MapDataType type, const std::string& name) {
        if (!mapEngineWaitForStores(engine, std::chrono::steady_clock::now() + kStoreDeadline)) {
            return false;
        }
        mapEngineRenderFrame(engine);
        for (const auto& [shown, status] : currentTiles(type)) {
            if (shown == name) return status == 1;
        }
        return false;
    }

    static constexpr std::chrono::seconds kStoreDeadline{10};

    MapEngine* engine = nullptr;
    EngineRecorder recorder;
};
