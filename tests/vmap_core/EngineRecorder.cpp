#include "EngineRecorder.h"

#include <algorithm>

namespace {

EngineRecorder* self(void* context) { return static_cast<EngineRecorder*>(context); }

}  // namespace

void EngineRecorder::attach(MapEngine* engine) {
    mapEngineSetCreateMapCallback(
        engine, [](void* c) { self(c)->add({"createMap"}); }, this);
    mapEngineSetProcessMapEventCallback(
        engine,
        [](void* c) {
            self(c)->add({"processMapEvent"});
            if (self(c)->onProcessMapEvent) self(c)->onProcessMapEvent();
        },
        this);
    mapEngineSetRenderMapCallback(
        engine,
        [](void* c, int state) {
            self(c)->add({"renderMap", state});
            if (self(c)->onRenderMap) self(c)->onRenderMap(state);
        },
        this);
    mapEngineSetInitMapCallback(
        engine,
        [](void* c, int w, int h) {
            self(c)->add({"initMap", w * 100000 + h});
        },
        this);
    mapEngineSetDestroyMapCallback(
        engine, [](void* c) { self(c)->add({"destroyMap"}); }, this);
    mapEngineSetMapDataRequiredCallback(
        engine,
        [](void* c, MapDataType type, const char* names, int count) {
            Event event{"mapDataRequired", type};
            for (int i = 0; i < count; ++i) event.names.emplace_back(names + i * kGridNameSlotSize);
            {
                std::lock_guard lock(self(c)->mutex_);
                self(c)->raw_.emplace_back(names, names + count * kGridNameSlotSize);
            }
            self(c)->add(std::move(event));
        },
        this);
    mapEngineSetLabelsRequiredCallback(
        engine,
        [](void* c, const uint16_t* codes, int count) {
            if (self(c)->onLabelsRequired) self(c)->onLabelsRequired(codes, count);
            self(c)->add({"labels", count});
        },
        this);
    mapEngineSetAsciiCharWidthsCallback(
        engine,
        [](void* c, uint8_t*, int size) {
            self(c)->add({"asciiWidths", size});
        },
        this);
    mapEngineSetCharWidthsCallback(
        engine,
        [](void* c, const uint16_t* chars, int count, int, uint8_t* results) {
            if (self(c)->onCharWidths) self(c)->onCharWidths(chars, count, results);
            self(c)->add({"charWidths", count});
        },
        this);
    mapEngineSetReferenceChangedCallback(
        engine,
        [](void* c, const char* oldGrid, const char* newGrid) {
            self(c)->add({"referenceChanged", 0, {oldGrid, newGrid}});
        },
        this);
    mapEngineSetNetworkActivityCallback(
        engine,
        [](void* c, int active) {
            self(c)->add({"networkActivity", active});
        },
        this);
    mapEngineSetDownloadDataCallback(
        engine,
        [](void* c, int failed, uint32_t, uint32_t, const NSError*) {
            self(c)->add({"downloadData", failed});
        },
        this);
}

std::vector<EngineRecorder::Event> EngineRecorder::events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::vector<EngineRecorder::Event> EngineRecorder::requests(MapDataType dataType) const {
    std::vector<Event> found;
    for (const Event& e : events()) {
        if (e.name == "mapDataRequired" && e.value == dataType) found.push_back(e);
    }
    return found;
}

std::vector<std::vector<char>> EngineRecorder::rawRequests() const {
    std::lock_guard lock(mutex_);
    return raw_;
}

void EngineRecorder::clear() {
    std::lock_guard lock(mutex_);
    events_.clear();
    raw_.clear();
}

void EngineRecorder::mark(const std::string& name) { add({name}); }

bool EngineRecorder::waitFor(const std::function<bool(const std::vector<Event>&)>& predicate,
                             std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return predicate(events_); });
}

bool EngineRecorder::waitForRequests(MapDataType dataType, size_t n) {
    return waitFor([&](const std::vector<Event>& all) {
        return static_cast<size_t>(std::count_if(all.begin(), all.end(), [&](const Event& e) {
                   return e.name == "mapDataRequired" && e.value == dataType;
               })) >= n;
    });
}

void EngineRecorder::add(Event event) {
    event.thread = std::this_thread::get_id();
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    changed_.notify_all();
}
