#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <latch>
#include <limits>
#include <set>
#include <thread>

#include "EngineFixture.h"
#include "Foundation/Clock.h"
#include "ManualClock.h"
#include "vmap_core/OwningThread.h"
#include "vmap_core/ShownGridNames.h"

namespace {

using Event = EngineRecorder::Event;

std::vector<std::string> mainThreadSequence(const std::vector<Event>& events, size_t from = 0) {
    std::vector<std::string> names;
    for (size_t i = from; i < events.size(); ++i) {
        const Event& e = events[i];
        if (e.thread != std::this_thread::get_id()) continue;
        names.push_back(e.value != 0 || e.name == "mapDataRequired"
                            ? e.name + " " + std::to_string(e.value)
                            : e.name);
    }
    return names;
}

size_t indexOf(const std::vector<Event>& events, const std::string& name) {
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].name == name) return i;
    }
    return events.size();
}

const std::vector<std::string> kPair = {"1320", "1321"};

using EngineTest = EngineFixture;

TEST_F(EngineTest, CallbacksArriveInOrderOnTheirThreads) {
    EXPECT_EQ(mainThreadSequence(recorder.events()), std::vector<std::string>{"createMap"});

    // The renderer's first surface has no drawable yet.
    mapEngineSetSurfaceSize(engine, 0, 0);
    mapEngineRenderFrame(engine);
    EXPECT_EQ(
        mainThreadSequence(recorder.events()),
        (std::vector<std::string>{"createMap", "initMap", "processMapEvent", "referenceChanged",
                                  "renderMap 1", "renderMap 3", "renderMap 5", "renderMap 11"}));

    recorder.mark("sized");
    showPair();
    mapEngineRenderFrame(engine);
    std::vector<Event> events = recorder.events();
    const size_t sized = indexOf(events, "sized");
    EXPECT_EQ(mainThreadSequence(events, sized + 1),
              (std::vector<std::string>{"processMapEvent", "referenceChanged", "renderMap 1",
                                        "renderMap 3", "renderMap 5", "mapDataRequired 3",
                                        "renderMap 11"}));
    ASSERT_EQ(recorder.requests(3).size(), 1u);
    EXPECT_EQ(recorder.requests(3)[0].names, kPair);

    // The other types come from one worker thread, in their order, type 9 last.
    ASSERT_TRUE(recorder.waitForRequests(9));
    events = recorder.events();
    std::vector<int> workerTypes;
    std::set<std::thread::id> workerThreads;
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].name != "mapDataRequired") continue;
        EXPECT_GT(i, sized) << "a grid request before the surface had a size";
        if (events[i].value == 3) continue;
        workerTypes.push_back(events[i].value);
        workerThreads.insert(events[i].thread);
        EXPECT_EQ(events[i].names, kPair);
    }
    EXPECT_EQ(workerTypes, (std::vector<int>{0, 1, 7, 8, 9}));
    ASSERT_EQ(workerThreads.size(), 1u);
    EXPECT_NE(*workerThreads.begin(), std::this_thread::get_id());

    // The same view again asks for nothing and keeps its reference.
    recorder.clear();
    mapEngineRenderFrame(engine);
    EXPECT_EQ(mainThreadSequence(recorder.events()),
              (std::vector<std::string>{"processMapEvent", "renderMap 1", "renderMap 3",
                                        "renderMap 5", "renderMap 11"}));

    mapEngineDestroy(engine);
    engine = nullptr;
    EXPECT_EQ(recorder.events().back().name, "destroyMap");
    // This engine draws no labels and downloads nothing itself.
    const std::set<std::string> never = {"labels", "asciiWidths", "charWidths", "networkActivity",
                                         "downloadData"};
    for (const Event& e : recorder.events()) EXPECT_EQ(never.count(e.name), 0u) << e.name;
}

TEST_F(EngineTest, PendingRecordHandedOverInsideProcessMapEvent) {
    showPair();
    mapEngineRenderFrame(engine);
    MapViewState* pending = mapEngineCopyProjection(engine);
    mapEngineSetCenter(pending, 3 << 24, 3 << 24);
    recorder.onProcessMapEvent = [&] {
        mapEngineSetViewState(engine, pending);
        mapEngineFreeProjection(pending);
        pending = nullptr;
    };
    recorder.clear();
    mapEngineRenderFrame(engine);
    std::vector<Event> events;
    for (const Event& e : recorder.events()) {
        if (e.thread == std::this_thread::get_id()) events.push_back(e);
    }
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events[0].name, "processMapEvent");
    EXPECT_EQ(events[1].name, "referenceChanged");
    EXPECT_EQ(events[1].names, (std::vector<std::string>{"1321", "0033"}));
    EXPECT_EQ(events[2].name, "renderMap");
    uint32_t x = 0, y = 0;
    mapEngineGetCenter(mapEngineGetViewState(engine), &x, &y);
    EXPECT_EQ(x, 3u << 24);
    // The engine keeps its own surface whatever the record carried.
    EXPECT_EQ(mapEngineGetViewState(engine)->viewport[2], 500);
}

TEST_F(EngineTest, RecordsAreTakenWithinTheSettersRules) {
    showPair();
    const MapViewState before = *mapEngineGetViewState(engine);
    using Edit = void (*)(MapViewState&);
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kRefused = std::numeric_limits<float>::quiet_NaN();
    // A refused record leaves the live one as it was; a taken one is brought into range.
    const uint32_t x = before.centerX;
    const struct {
        const char* name;
        Edit edit;
        float zoom = kRefused;
        uint32_t centerX = 0;
        float pitch = 0;
    } cases[] = {
        {"NaN zoom", [](MapViewState& s) { s.zoomLevel = std::nanf(""); }},
        {"infinite zoom", [](MapViewState& s) { s.zoomLevel = kInf; }},
        {"huge zoom", [](MapViewState& s) { s.zoomLevel = 1e10f; }},
        {"largest zoom", [](MapViewState& s) { s.zoomLevel = std::numeric_limits<float>::max(); }},
        {"zoom past the maximum", [](MapViewState& s) { s.zoomLevel = 20.0f; }},
        {"infinite pitch", [](MapViewState& s) { s.cameraPitch = kInf; }},
        {"NaN rotation", [](MapViewState& s) { s.rotation = -std::nanf(""); }},
        {"infinite rotation", [](MapViewState& s) { s.rotation = -kInf; }},
        {"huge negative zoom", [](MapViewState& s) { s.zoomLevel = -1e10f; }, 3.0f, x},
        {"huge pitch", [](MapViewState& s) { s.cameraPitch = 1e10f; }, 4.0f, x, 65.0f},
        {"centre off the plane", [](MapViewState& s) { s.centerX = 0xFFFFFFFFu; }, 4.0f,
         (1u << 28) - 1},
        {"zoom just below the end", [](MapViewState& s) { s.zoomLevel = 19.99f; }, 19.99f, x},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mapEngineSetViewState(engine, &before);
        MapViewState record = before;
        c.edit(record);
        mapEngineSetViewState(engine, &record);
        const MapViewState* live = mapEngineGetViewState(engine);
        if (std::isnan(c.zoom)) {
            EXPECT_EQ(std::memcmp(&before, live, sizeof before), 0);
            continue;
        }
        EXPECT_EQ(live->centerX, c.centerX);
        EXPECT_EQ(live->zoomLevel, c.zoom);
        EXPECT_EQ(live->cameraPitch, c.pitch);
        EXPECT_GE(live->mapUnitsPerGLX, 1.0f);
        EXPECT_LE(live->visibleMaxX, (1 << 28) - 1);
    }
    mapEngineSetViewState(engine, &before);
    mapEngineSetViewState(engine, nullptr);
    EXPECT_EQ(std::memcmp(&before, mapEngineGetViewState(engine), sizeof before), 0);
}

TEST_F(EngineTest, GlyphBitmapsAreCopiedAtTheirSideOrRefused) {
    // Glyphs are 24 points square: the side follows the screen's scale.
    struct Case {
        int scale;
        int32_t side;
        size_t bytes;
    };
    const Case cases[] = {{1, 24, 576}, {2, 48, 2304}, {3, 72, 5184}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        const auto code = static_cast<uint16_t>(0x4E00 + c.scale);
        // Exactly the caller's bytes, so a read past them is caught under AddressSanitizer.
        std::vector<uint8_t> bitmap(c.bytes);
        for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<uint8_t>(i * 7 + 1);
        EXPECT_EQ(mapEnginePutGlyphBitmaps(engine, code, bitmap.data(), c.side), 0);
        // The caller reuses its buffer at once.
        std::fill(bitmap.begin(), bitmap.end(), 0);
        const auto stored = mapEngineGlyphs(engine).find(code);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->side, c.side);
        ASSERT_EQ(stored->alpha.size(), c.bytes);
        for (size_t i = 0; i < c.bytes; ++i) {
            ASSERT_EQ(stored->alpha[i], static_cast<uint8_t>(i * 7 + 1)) << "byte " << i;
        }
    }

    // Glyphs come from a worker thread and replace what the code had.
    const std::vector<uint8_t> replacement(576, 0x55);
    std::thread worker(
        [&] { EXPECT_EQ(mapEnginePutGlyphBitmaps(engine, 0x4E01, replacement.data(), 24), 0); });
    worker.join();
    EXPECT_EQ(mapEngineGlyphs(engine).find(0x4E01)->alpha, replacement);

    // Sides that are no side at all are refused.
    const std::vector<uint8_t> bitmap(16, 0xFF);
    for (const int32_t side :
         {0, -1, -48, kGlyphBitmapMaxSide + 1, 46341, std::numeric_limits<int32_t>::max(),
          std::numeric_limits<int32_t>::min()}) {
        EXPECT_EQ(mapEnginePutGlyphBitmaps(engine, 'A', bitmap.data(), side), -1) << side;
    }
    EXPECT_EQ(mapEnginePutGlyphBitmaps(engine, 'A', nullptr, 48), 0);
    EXPECT_EQ(mapEnginePutGlyphBitmaps(nullptr, 'A', bitmap.data(), 4), 0);
    EXPECT_FALSE(mapEngineGlyphs(engine).find('A').has_value());
}

TEST_F(EngineTest, RequestsArePackedAndCappedAndShownGridsFitTheirBuffer) {
    mapEngineSetSurfaceSize(engine, 4096, 4096);
    setView(kPairCenterX, kPairCenterY, 12.0f);
    mapEngineRenderFrame(engine);
    const auto mainRequests = recorder.requests(3);
    ASSERT_GE(mainRequests.size(), 2u);
    size_t total = 0;
    std::set<std::string> names;
    for (const Event& e : mainRequests) {
        EXPECT_GE(e.names.size(), 1u);
        EXPECT_LE(e.names.size(), size_t{kMaxGridNamesPerRequest});
        total += e.names.size();
        names.insert(e.names.begin(), e.names.end());
    }
    EXPECT_GT(total, size_t{kMaxGridNamesPerRequest});
    EXPECT_EQ(names.size(), total) << "a grid asked for twice";
    for (const std::string& name : names) {
        EXPECT_EQ(name.size(), 12u);
        EXPECT_EQ(name.find_first_not_of("0123"), std::string::npos);
    }
    // Slots are 21 bytes, the name NUL-terminated and the rest zero.
    for (const std::vector<char>& block : recorder.rawRequests()) {
        ASSERT_EQ(block.size() % kGridNameSlotSize, 0u);
        for (size_t slot = 0; slot < block.size(); slot += kGridNameSlotSize) {
            for (size_t i = 12; i < size_t{kGridNameSlotSize}; ++i) EXPECT_EQ(block[slot + i], 0);
        }
    }
    // Worker B splits its requests the same way.
    ASSERT_TRUE(recorder.waitFor([&](const std::vector<Event>& all) {
        size_t nine = 0;
        for (const Event& e : all) {
            if (e.name == "mapDataRequired" && e.value == 9) nine += e.names.size();
        }
        return nine == total;
    }));
    for (const Event& e : recorder.requests(0)) {
        EXPECT_LE(e.names.size(), size_t{kMaxGridNamesPerRequest});
    }

    // The shown grids are listed without writing past the capacity.
    std::vector<uint8_t> buffer(200, 0xAB);
    // Entries of 12-digit names take 14 bytes: 7 fit after the count byte.
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, buffer.data(), 100, 0), 7);
    EXPECT_EQ(buffer[0], 7);
    EXPECT_EQ(buffer[1], 12);
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 99, buffer.end(), [](uint8_t b) { return b == 0xAB; }));
    std::vector<uint8_t> full(4000, 0);
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, full.data(), 4000, 0), 255);
    std::vector<uint8_t> untouched(8, 0xAB);
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, untouched.data(), 0, 0), 0);
    EXPECT_EQ(mapEngineGetCurrentTiles(nullptr, untouched.data(), 8, 0), 0);
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, nullptr, 8, 0), 0);
    EXPECT_EQ(untouched, std::vector<uint8_t>(8, 0xAB));
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, untouched.data(), 1, 0), 0);
    EXPECT_EQ(untouched[0], 0);
}

TEST_F(EngineTest, TrafficIsAskedOnTheMainThreadWhileSwitchedOn) {
    showPair();
    mapEngineRenderFrame(engine);
    EXPECT_TRUE(recorder.requests(4).empty());
    const uint32_t on[36] = {1};
    mapEngineSetParameter(engine, kMapParameterTraffic, on);
    mapEngineRenderFrame(engine);
    const auto traffic = recorder.requests(4);
    ASSERT_EQ(traffic.size(), 1u);
    EXPECT_EQ(traffic[0].thread, std::this_thread::get_id());
    EXPECT_EQ(traffic[0].names, kPair);

    // A fresh traffic grid is not asked again; the other one is.
    std::vector<uint8_t> payload = body("1320", {});
    const std::vector<uint8_t> header = {2, 'e', '1', 120, 0, 0, 0, 9, 9};
    payload.insert(payload.end(), header.begin(), header.end());
    EXPECT_EQ(put(4, payload), 1);
    ASSERT_TRUE(renderUntilHeld(4, "1320"));
    recorder.clear();
    mapEngineSetParameter(engine, kMapParameterTraffic, nullptr);
    mapEngineRenderFrame(engine);
    EXPECT_TRUE(recorder.requests(4).empty());
    mapEngineSetParameter(engine, kMapParameterTraffic, on);
    mapEngineRenderFrame(engine);
    ASSERT_EQ(recorder.requests(4).size(), 1u);
    EXPECT_EQ(recorder.requests(4)[0].names, std::vector<std::string>{"1321"});
}

TEST_F(EngineTest, HeldGridsAreShownAndNotAskedAgain) {
    testsupport::ManualClock manualClock;
    showPair();
    mapEngineRenderFrame(engine);
    std::vector<uint8_t> buffer(64, 0);
    EXPECT_EQ(mapEngineGetCurrentTiles(engine, buffer.data(), 64, 0), 2);
    const std::vector<uint8_t> expected = {2, 4, '1', '3', '2', '0', 0, 4, '1', '3', '2', '1', 0};
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), buffer.begin()));
    EXPECT_TRUE(std::all_of(buffer.begin() + 13, buffer.end(), [](uint8_t b) { return b == 0; }));

    EXPECT_EQ(put(0, body("1320")), 1);
    ASSERT_TRUE(renderUntilHeld(0, "1320"));
    EXPECT_EQ(currentTiles(0),
              (std::vector<std::pair<std::string, int>>{{"1320", 1}, {"1321", 0}}));
    // Type 5 is never asked for but its shown grids are listed for the tile overlay.
    EXPECT_EQ(currentTiles(5),
              (std::vector<std::pair<std::string, int>>{{"1320", 0}, {"1321", 0}}));

    // After a while the missing grids are asked again, the held one not.
    ASSERT_TRUE(recorder.waitForRequests(9));
    recorder.clear();
    Clock::advance(61);
    mapEngineRenderFrame(engine);
    ASSERT_TRUE(recorder.waitForRequests(9));
    EXPECT_EQ(recorder.requests(0).at(0).names, std::vector<std::string>{"1321"});
    EXPECT_EQ(recorder.requests(1).at(0).names, kPair);
}

TEST_F(EngineTest, PutRefusesMalformedBodies) {
    const std::vector<uint8_t> good = body("1320");
    EXPECT_EQ(mapEnginePutGridData(nullptr, 0, good.data(), static_cast<int32_t>(good.size())), 0);
    EXPECT_EQ(mapEnginePutGridData(engine, 0, nullptr, 10), 0);
    EXPECT_EQ(mapEnginePutGridData(engine, 0, good.data(), -1), 0);
    EXPECT_EQ(mapEnginePutGridData(engine, 0, good.data(), 4), 0);
    EXPECT_EQ(put(10, good), 0);
    EXPECT_EQ(put(-1, good), 0);
    // Name length beyond the body, empty, too long, or not a quadkey.
    std::vector<uint8_t> shortName = body("1320", {});
    shortName[4] = 5;
    EXPECT_EQ(put(0, shortName), 0);
    EXPECT_EQ(put(0, body("")), 0);
    EXPECT_EQ(put(0, body(std::string(21, '1'))), 0);
    EXPECT_EQ(put(0, body("1340")), 0);
    // Traffic needs its tag length, tag and time stamp inside the body.
    EXPECT_EQ(put(4, body("1320", {})), 0);
    EXPECT_EQ(put(4, body("1320", {3, 'a', 'b', 'c', 1, 0, 0})), 0);
    EXPECT_EQ(put(4, body("1320", {3, 'a', 'b', 'c', 1, 0, 0, 0})), 1);
    EXPECT_EQ(put(0, body("1320", {})), 1);
    EXPECT_EQ(put(0, good), 1);
    EXPECT_EQ(put(7, body(std::string(20, '3'))), 1);
}

TEST_F(EngineTest, DataForAnEngineThatIsNoLongerCurrentIsDropped) {
    EXPECT_EQ(mapEngineGetCurrent(), engine);
    EngineCreationRecord record{};
    MapEngine* newer = mapEngineCreate(&record);
    mapEngineInit(newer);
    EXPECT_EQ(mapEngineGetCurrent(), newer);
    EXPECT_EQ(mapEngineGetFrameRate(newer), 60);
    EXPECT_EQ(mapEngineGetFrameRate(nullptr), 0);
    EXPECT_EQ(put(0, body("1320")), 0);
    EXPECT_EQ(put(0, body("1320"), newer), 1);

    // Destroying the older engine leaves the newer one current.
    MapEngine* old = engine;
    mapEngineDestroy(old);
    engine = newer;
    EXPECT_EQ(mapEngineGetCurrent(), newer);
    // A download thread may still hold the old handle; it is only compared, never used.
    EXPECT_EQ(put(0, body("1320"), old), 0);

    mapEngineDestroy(newer);
    engine = nullptr;
    EXPECT_EQ(mapEngineGetCurrent(), nullptr);
    EXPECT_EQ(put(0, body("1320"), newer), 0);
    EXPECT_EQ(mapEngineCreate(nullptr), nullptr);
}

TEST_F(EngineTest, PutsFromSeveralThreadsAtOnce) {
    mapEngineSetSurfaceSize(engine, 2048, 2048);
    setView(kPairCenterX, kPairCenterY, 12.0f);
    mapEngineRenderFrame(engine);
    std::vector<std::string> names;
    for (const auto& [name, status] : currentTiles(0)) names.push_back(name);
    ASSERT_GE(names.size(), 64u);

    constexpr int kThreads = 4;
    std::atomic<int> accepted{0};
    std::latch go(1);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            go.wait();
            for (size_t i = 0; i < names.size(); ++i) {
                const std::string& name =
                    names[(i * 7 + static_cast<size_t>(t) * 13) % names.size()];
                const std::vector<uint8_t> bytes =
                    body(name, std::vector<uint8_t>(100 + i, static_cast<uint8_t>(t)));
                accepted += mapEnginePutGridData(engine, t % 2 == 0 ? 0 : 8, bytes.data(),
                                                 static_cast<int32_t>(bytes.size()));
            }
        });
    }
    go.count_down();
    for (int frame = 0; frame < 20; ++frame) mapEngineRenderFrame(engine);
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(accepted.load(), kThreads * static_cast<int>(names.size()));
    ASSERT_TRUE(renderUntilHeld(0, names.back()));
    ASSERT_TRUE(renderUntilHeld(8, names.back()));
    for (const auto& [name, status] : currentTiles(0)) EXPECT_EQ(status, 1) << name;

    // Puts keep coming while the engine goes, and after: each is taken or dropped, none crashes.
    // They run until enough came after the engine went, however late the main thread gets there.
    std::atomic<bool> destroyed{false};
    std::atomic<int> afterDestroy{0};
    threads.clear();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, target = engine] {
            for (size_t i = 0; afterDestroy.load() < 50; ++i) {
                const bool gone = destroyed.load();
                const std::vector<uint8_t> bytes = body(names[i % names.size()]);
                const int taken = mapEnginePutGridData(target, 1, bytes.data(),
                                                       static_cast<int32_t>(bytes.size()));
                if (gone) {
                    EXPECT_EQ(taken, 0);
                    ++afterDestroy;
                }
            }
        });
    }
    mapEngineRenderFrame(engine);
    mapEngineDestroy(engine);
    destroyed = true;
    engine = nullptr;
    for (std::thread& thread : threads) thread.join();
}

TEST_F(EngineTest, TaskManagerHoldsWorkerTasks) {
    const uint32_t hold[36] = {0, 1};
    const uint32_t release[36] = {1, 0};
    mapEngineSetParameter(engine, kMapParameterTaskManager, hold);
    showPair();
    for (int frame = 0; frame < 20; ++frame) mapEngineRenderFrame(engine);
    EXPECT_EQ(put(0, body("1320")), 1);
    for (int frame = 0; frame < 20; ++frame) mapEngineRenderFrame(engine);
    EXPECT_EQ(currentTiles(0).at(0).second, 0);
    recorder.mark("released");
    mapEngineSetParameter(engine, kMapParameterTaskManager, release);
    ASSERT_TRUE(recorder.waitForRequests(0));
    const auto events = recorder.events();
    const size_t released = indexOf(events, "released");
    for (size_t i = 0; i < events.size(); ++i) {
        if (events[i].name == "mapDataRequired" && events[i].value != 3) {
            EXPECT_GT(i, released);
        }
    }
    EXPECT_TRUE(renderUntilHeld(0, "1320"));
}

}  // namespace

TEST(EngineThreadDeathTest, OwnerCallsFromAnotherThreadStopTheProcess) {
    if (!OwningThread::kChecked) GTEST_SKIP() << "thread checks are compiled out of this build";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using Call = void (*)(MapEngine*);
    const std::pair<const char*, Call> calls[] = {
        {"mapEngineRenderFrame", [](MapEngine* e) { mapEngineRenderFrame(e); }},
        {"mapEngineSetSurfaceSize", [](MapEngine* e) { mapEngineSetSurfaceSize(e, 10, 10); }},
        {"mapEngineInit", [](MapEngine* e) { mapEngineInit(e); }},
        {"mapEngineDestroy", [](MapEngine* e) { mapEngineDestroy(e); }},
        {"mapEngineGetViewState", [](MapEngine* e) { mapEngineGetViewState(e); }},
        {"mapEngineSetViewState",
         [](MapEngine* e) {
             const MapViewState record{};
             mapEngineSetViewState(e, &record);
         }},
        {"mapEngineCopyProjection",
         [](MapEngine* e) { mapEngineFreeProjection(mapEngineCopyProjection(e)); }},
        {"mapEngineSetParameter",
         [](MapEngine* e) { mapEngineSetParameter(e, kMapParameterTraffic, nullptr); }},
        {"mapEngineSetStyle", [](MapEngine* e) { mapEngineSetStyle(e, nullptr, 0, 0, 1); }},
        {"mapEngineSetTexture", [](MapEngine* e) { mapEngineSetTexture(e, nullptr, 0, 0); }},
        {"mapEngineSelectPois",
         [](MapEngine* e) { std::free(mapEngineSelectPois(e, 0, 0, 10, nullptr)); }},
        {"mapEngineSetRenderMapCallback",
         [](MapEngine* e) { mapEngineSetRenderMapCallback(e, nullptr, nullptr); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_DEATH(
            {
                const EngineCreationRecord record{};
                MapEngine* engine = mapEngineCreate(&record);
                mapEngineInit(engine);
                std::thread other(call, engine);
                other.join();
            },
            std::string(name) + " called from a thread that does not own the map engine")
            << name;
    }
}
