#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "vmap_core/MapEngine.h"

// Registers all twelve callbacks on an engine and records each call with its thread.
class EngineRecorder {
  public:
    struct Event {
        std::string name;
        int value = 0;  // render state, data type, width
        std::vector<std::string> names = {};
        std::thread::id thread = {};
    };

    void attach(MapEngine* engine);

    std::vector<Event> events() const;
    std::vector<Event> requests(MapDataType dataType) const;
    // The packed name blocks of mapDataRequired, as received.
    std::vector<std::vector<char>> rawRequests() const;
    void clear();
    void mark(const std::string& name);
    // Waits (without sleeping on a guess) until the predicate holds over the events.
    bool waitFor(const std::function<bool(const std::vector<Event>&)>& predicate,
                 std::chrono::seconds timeout = std::chrono::seconds(20));
    // Waits until at least n requests of the type came.
    bool waitForRequests(MapDataType dataType, size_t n = 1);

    // Runs inside processMapEvent, as the renderer hands over its pending record there.
    std::function<void()> onProcessMapEvent;
    std::function<void(int)> onRenderMap;
    // Answer the glyph requests, on the engine's worker.
    std::function<void(const uint16_t*, int)> onLabelsRequired;
    std::function<void(const uint16_t*, int, uint8_t*)> onCharWidths;

  private:
    void add(Event event);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::vector<std::vector<char>> raw_;
};
