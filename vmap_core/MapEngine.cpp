#include "MapEngine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "EngineWorker.h"
#include "Foundation/Clock.h"
#include "GlyphStore.h"
#include "GridCache.h"
#include "MapEngineInternal.h"
#include "OpenGLES/ES1.h"
#include "OwningThread.h"
#include "ShownGridNames.h"
#include "ViewGeometry.h"

namespace {

constexpr size_t kCacheMaxTiles = 2048;
constexpr size_t kCacheMaxBytes = size_t{64} << 20;
constexpr MapDataType kMaxDataType = 9;
constexpr MapDataType kTrafficDataType = 4;
constexpr MapDataType kWorkerRequestTypes[] = {0, 1, 7, 8, 9};
constexpr MapDataType kShownTypes[] = {0, 1, 3, 4, 5, 7, 8, 9};
constexpr MapDataType kSharedShownTypes[] = {0, 1, 3, 4, 7, 8};
// Grids of the visible set are asked again after this long, in case a download failed.
constexpr double kRequestRepeatSeconds = 60;
// Traffic older than this counts as missing.
constexpr double kTrafficFreshSeconds = 300;
// How many levels up a frame looks for a held grid to cover a missing one.
constexpr int kFallbackLevels = 4;
// Room for 255 entries of the longest names.
constexpr int32_t kShownBufferSize = 1 + 255 * (1 + kGridNameMaxLength + 1);

struct Colour {
    float r, g, b, a;
};
constexpr Colour kBackgroundColour{0.953f, 0.945f, 0.925f, 1.0f};

// Flat fill per data type, in drawing order; the base map is opaque, the rest tint it.
struct Layer {
    MapDataType dataType;
    Colour colour;
};
constexpr Layer kLayers[] = {
    {0, {0.878f, 0.910f, 0.816f, 1.0f}},  {1, {0.702f, 0.808f, 0.914f, 0.35f}},
    {3, {0.851f, 0.820f, 0.792f, 0.35f}}, {7, {0.914f, 0.855f, 0.702f, 0.35f}},
    {8, {0.800f, 0.741f, 0.878f, 0.35f}}, {9, {0.741f, 0.878f, 0.855f, 0.35f}},
    {4, {0.420f, 0.780f, 0.380f, 0.35f}},
};

using ShownList = std::vector<std::pair<std::string, std::uint8_t>>;

}  // namespace

struct MapEngine {
    const OwningThread owner;
    EngineCreationRecord creation{};

    std::mutex callbacksMutex;
    EngineCallbackTable callbacks{};
    // Held by a worker while it calls out, so a setter never returns while a worker still runs
    // the function it replaced.
    std::recursive_mutex workerCallMutex;

    // Main thread only.
    std::optional<MapViewState> view;
    int32_t surfaceWidth = 0;
    int32_t surfaceHeight = 0;
    bool surfaceMade = false;
    std::optional<std::string> referenceName;
    std::vector<GridKey> lastRequested;
    bool lastRequestedTraffic = false;
    double lastRequestTime = 0;
    std::vector<std::uint8_t> style;
    int styleMapType = 0;
    bool styleCompressed = false;
    std::map<int, std::vector<std::uint8_t>> textures;

    GridCache cache{kCacheMaxTiles, kCacheMaxBytes};
    EngineWorker workerA{"MapEngine A"};
    EngineWorker workerB{"MapEngine B"};
    std::atomic<std::uint64_t> requestGeneration{0};

    std::mutex parametersMutex;
    std::map<int, std::array<std::uint32_t, 4>> parameters;

    std::mutex shownMutex;
    std::map<MapDataType, ShownList> shown;

    GlyphStore glyphs;
};

namespace {

std::mutex gEngineMutex;
MapEngine* gCurrentEngine = nullptr;

template <class Fn>
std::pair<Fn, void*> callbackSlot(MapEngine* engine, Fn EngineCallbackTable::*fn,
                                  void* EngineCallbackTable::*context) {
    std::lock_guard lock(engine->callbacksMutex);
    return {engine->callbacks.*fn, engine->callbacks.*context};
}

#define ENGINE_CALL(engine, slot, ...)                                                             \
    do {                                                                                           \
        const auto [fn_, ctx_] =                                                                   \
            callbackSlot(engine, &EngineCallbackTable::slot, &EngineCallbackTable::slot##Context); \
        if (fn_ != nullptr) fn_(ctx_ __VA_OPT__(, ) __VA_ARGS__);                                  \
    } while (false)

bool parameterOn(MapEngine* engine, int id) {
    std::lock_guard lock(engine->parametersMutex);
    const auto found = engine->parameters.find(id);
    return found != engine->parameters.end() && found->second[0] != 0;
}

std::vector<bool> held(MapEngine* engine, MapDataType dataType, const std::vector<GridKey>& keys) {
    if (dataType != kTrafficDataType) return engine->cache.contains(dataType, keys);
    const double now = Clock::now();
    std::vector<bool> fresh(keys.size(), false);
    for (size_t i = 0; i < keys.size(); ++i) {
        const auto tile = engine->cache.find(dataType, keys[i]);
        fresh[i] = tile != nullptr && now - tile->storedAt <= kTrafficFreshSeconds;
    }
    return fresh;
}

// Asks for the grids of the type that the engine does not hold, in calls of at most
// kMaxGridNamesPerRequest names.
void requestMissing(MapEngine* engine, MapDataType dataType, const std::vector<GridKey>& grids) {
    const std::vector<bool> present = held(engine, dataType, grids);
    std::vector<char> names;
    int count = 0;
    const auto flush = [&] {
        if (count == 0) return;
        ENGINE_CALL(engine, mapDataRequired, dataType, names.data(), count);
        names.clear();
        count = 0;
    };
    for (size_t i = 0; i < grids.size(); ++i) {
        if (present[i]) continue;
        const std::string name = grids[i].quadKey();
        const size_t slot = names.size();
        names.resize(slot + kGridNameSlotSize, '\0');
        std::memcpy(names.data() + slot, name.data(), name.size());
        if (++count == kMaxGridNamesPerRequest) flush();
    }
    flush();
}

void requestGrids(MapEngine* engine, const std::vector<GridKey>& visible) {
    if (visible.empty()) return;
    const double now = Clock::now();
    const bool traffic = parameterOn(engine, kMapParameterTraffic);
    if (visible == engine->lastRequested && traffic == engine->lastRequestedTraffic &&
        now - engine->lastRequestTime < kRequestRepeatSeconds) {
        return;
    }
    engine->lastRequested = visible;
    engine->lastRequestedTraffic = traffic;
    engine->lastRequestTime = now;

    requestMissing(engine, 3, visible);
    if (traffic) requestMissing(engine, kTrafficDataType, visible);

    // Only the newest view's request is worth making once the worker gets to it.
    const std::uint64_t generation = ++engine->requestGeneration;
    engine->workerB.post([engine, visible, generation] {
        if (generation != engine->requestGeneration.load()) return;
        std::lock_guard lock(engine->workerCallMutex);
        for (const MapDataType dataType : kWorkerRequestTypes) {
            requestMissing(engine, dataType, visible);
        }
    });
}

void updateShown(MapEngine* engine, const std::vector<GridKey>& visible) {
    std::map<MapDataType, ShownList> shown;
    for (const MapDataType dataType : kShownTypes) {
        ShownList& list = shown[dataType];
        const std::vector<bool> held = engine->cache.contains(dataType, visible);
        for (size_t i = 0; i < visible.size(); ++i) {
            list.emplace_back(visible[i].quadKey(), held[i] ? 1 : 0);
        }
    }
    std::lock_guard lock(engine->shownMutex);
    engine->shown = std::move(shown);
}

void loadViewMatrices(const MapViewState& view) {
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(view.projectionMatrix);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(view.modelviewMatrix);
}

void drawMap(MapEngine* engine, const MapViewState& view, const std::vector<GridKey>& visible) {
    glViewport(0, 0, engine->surfaceWidth, engine->surfaceHeight);
    glClearColor(kBackgroundColour.r, kBackgroundColour.g, kBackgroundColour.b,
                 kBackgroundColour.a);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    loadViewMatrices(view);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    for (const Layer& layer : kLayers) {
        glColor4f(layer.colour.r, layer.colour.g, layer.colour.b, layer.colour.a);
        auto tiles = engine->cache.covering(layer.dataType, visible, kFallbackLevels);
        // Coarse grids first so finer data lies on top.
        std::stable_sort(tiles.begin(), tiles.end(),
                         [](const auto& a, const auto& b) { return a->key.level < b->key.level; });
        for (const auto& tile : tiles) {
            const double side = tile->key.side();
            const double mapX = double(tile->key.x) * side;
            const double mapY = double(tile->key.y) * side;
            const auto glX = [&](double x) {
                return static_cast<GLfloat>((x - view.originX) / view.mapUnitsPerGLX);
            };
            const auto glY = [&](double y) {
                return static_cast<GLfloat>((y - view.originY) / view.mapUnitsPerGLY);
            };
            const GLfloat vertices[] = {glX(mapX),        glY(mapY),       glX(mapX + side),
                                        glY(mapY),        glX(mapX),       glY(mapY + side),
                                        glX(mapX + side), glY(mapY + side)};
            glVertexPointer(2, GL_FLOAT, 0, vertices);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glColor4f(1, 1, 1, 1);
}

}  // namespace

extern "C" {

MapEngine* mapEngineCreate(const EngineCreationRecord* record) {
    if (record == nullptr) return nullptr;
    auto* engine = new MapEngine;
    engine->creation = *record;
    // Terminate the fields whatever the caller wrote.
    engine->creation.dataDirectory[sizeof(engine->creation.dataDirectory) - 1] = '\0';
    engine->creation.fontName[sizeof(engine->creation.fontName) - 1] = '\0';
    std::lock_guard lock(gEngineMutex);
    gCurrentEngine = engine;
    return engine;
}

void mapEngineDestroy(MapEngine* engine) {
    {
        std::lock_guard lock(gEngineMutex);
        // Another engine that is current stays current: its data must keep arriving.
        if (engine == nullptr || gCurrentEngine == engine) gCurrentEngine = nullptr;
    }
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    engine->workerA.stop();
    engine->workerB.stop();
    ENGINE_CALL(engine, destroyMap);
    delete engine;
}

void mapEngineInit(MapEngine* engine) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (engine->view) return;
    engine->view = view_geometry::defaultViewState();
    engine->view->viewport[2] = engine->surfaceWidth;
    engine->view->viewport[3] = engine->surfaceHeight;
    mapEngineUpdateView(&*engine->view);
    engine->workerA.start();
    engine->workerB.start();
    ENGINE_CALL(engine, createMap);
}

void mapEngineSetSurfaceSize(MapEngine* engine, int32_t width, int32_t height) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    engine->surfaceWidth = std::max(width, 0);
    engine->surfaceHeight = std::max(height, 0);
    if (engine->view) {
        engine->view->viewport[2] = engine->surfaceWidth;
        engine->view->viewport[3] = engine->surfaceHeight;
        mapEngineUpdateView(&*engine->view);
    }
    if (!engine->surfaceMade) {
        engine->surfaceMade = true;
        ENGINE_CALL(engine, initMap, engine->surfaceWidth, engine->surfaceHeight);
    }
}

MapEngine* mapEngineGetCurrent(void) {
    std::lock_guard lock(gEngineMutex);
    return gCurrentEngine;
}

void mapEngineRenderFrame(MapEngine* engine) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (!engine->view) return;
    ENGINE_CALL(engine, processMapEvent);
    MapViewState& view = *engine->view;
    view.viewport[0] = view.viewport[1] = 0;
    view.viewport[2] = engine->surfaceWidth;
    view.viewport[3] = engine->surfaceHeight;
    mapEngineUpdateView(&view);

    const std::string reference = view_geometry::referenceGrid(view).quadKey();
    if (engine->referenceName != reference) {
        const std::string previous = engine->referenceName.value_or(std::string());
        engine->referenceName = reference;
        ENGINE_CALL(engine, referenceChanged, previous.c_str(), reference.c_str());
    }

    const bool hasSurface = engine->surfaceWidth > 0 && engine->surfaceHeight > 0;
    const std::vector<GridKey> visible =
        hasSurface ? view_geometry::visibleGrids(view, view_geometry::levelForZoom(view.zoomLevel))
                   : std::vector<GridKey>{};

    ENGINE_CALL(engine, renderMap, kRenderStateProjectionReady);
    if (hasSurface) drawMap(engine, view, visible);
    loadViewMatrices(view);
    ENGINE_CALL(engine, renderMap, kRenderStateOverlayLevel0);
    loadViewMatrices(view);
    ENGINE_CALL(engine, renderMap, kRenderStateOverlayLevel1);
    updateShown(engine, visible);
    requestGrids(engine, visible);
    ENGINE_CALL(engine, renderMap, kRenderStateFrameDone);
}

#define CALLBACK_SETTER(Name, Type, slot)                                          \
    void mapEngineSet##Name##Callback(MapEngine* engine, Type fn, void* context) { \
        if (engine == nullptr) return;                                             \
        engine->owner.verifyThread(__func__);                                      \
        std::scoped_lock lock(engine->workerCallMutex, engine->callbacksMutex);    \
        engine->callbacks.slot = fn;                                               \
        engine->callbacks.slot##Context = context;                                 \
    }

CALLBACK_SETTER(CreateMap, CreateMapCallback, createMap)
CALLBACK_SETTER(ProcessMapEvent, ProcessMapEventCallback, processMapEvent)
CALLBACK_SETTER(RenderMap, RenderMapCallback, renderMap)
CALLBACK_SETTER(InitMap, InitMapCallback, initMap)
CALLBACK_SETTER(DestroyMap, DestroyMapCallback, destroyMap)
CALLBACK_SETTER(MapDataRequired, MapDataRequiredCallback, mapDataRequired)
CALLBACK_SETTER(LabelsRequired, LabelsRequiredCallback, labelsRequired)
CALLBACK_SETTER(AsciiCharWidths, AsciiCharWidthsCallback, asciiCharWidths)
CALLBACK_SETTER(CharWidths, CharWidthsCallback, charWidths)
CALLBACK_SETTER(ReferenceChanged, ReferenceChangedCallback, referenceChanged)
CALLBACK_SETTER(NetworkActivity, NetworkActivityCallback, networkActivity)
CALLBACK_SETTER(DownloadData, DownloadDataCallback, downloadData)

int mapEnginePutGridData(MapEngine* engine, MapDataType dataType, const uint8_t* body,
                         int32_t length) {
    if (engine == nullptr || body == nullptr || length < 5) return 0;
    if (dataType < 0 || dataType > kMaxDataType) return 0;
    const size_t size = static_cast<size_t>(length);
    const size_t nameLength = body[4];
    if (5 + nameLength > size) return 0;
    const auto key =
        GridKey::fromQuadKey(std::string_view(reinterpret_cast<const char*>(body) + 5, nameLength));
    if (!key) return 0;
    size_t dataStart = 5 + nameLength;
    if (dataType == kTrafficDataType) {
        // Entity tag length, tag and a 32-bit time stamp precede the traffic data.
        if (dataStart + 1 > size) return 0;
        const size_t tagLength = body[dataStart];
        if (dataStart + 1 + tagLength + 4 > size) return 0;
        dataStart += 1 + tagLength + 4;
    }
    auto tile = std::make_shared<GridTile>();
    tile->dataType = dataType;
    tile->key = *key;
    tile->data.assign(body + dataStart, body + size);
    tile->storedAt = Clock::now();

    // Download threads may still hold the handle of an engine that has gone; only the current
    // engine is touched, and destroy cannot pass this point while a put is inside.
    std::lock_guard lock(gEngineMutex);
    if (engine != gCurrentEngine) return 0;
    engine->workerA.post([engine, tile = std::shared_ptr<const GridTile>(std::move(tile))] {
        engine->cache.insert(tile);
    });
    return 1;
}

int mapEnginePutGlyphBitmaps(MapEngine* engine, uint16_t code, const uint8_t* bitmap,
                             int32_t side) {
    if (engine == nullptr || bitmap == nullptr) return 0;
    if (side < 1 || side > kGlyphBitmapMaxSide) return -1;
    const size_t bytes = static_cast<size_t>(side) * static_cast<size_t>(side);
    engine->glyphs.put(code, side, std::span(bitmap, bytes));
    return 0;
}

void mapEngineSetStyle(MapEngine* engine, const uint8_t* bytes, int32_t length, int mapType,
                       int compressed) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (length < 0 || (bytes == nullptr && length > 0)) return;
    engine->style.assign(bytes, bytes + length);
    engine->styleMapType = mapType;
    engine->styleCompressed = compressed != 0;
}

void mapEngineSetTexture(MapEngine* engine, const uint8_t* bytes, int32_t length, int kind) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (length < 0 || (bytes == nullptr && length > 0)) return;
    engine->textures[kind].assign(bytes, bytes + length);
}

void mapEngineSetParameter(MapEngine* engine, int parameterId, const uint32_t* block) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    std::array<std::uint32_t, 4> values{};
    if (block != nullptr) std::copy(block, block + 4, values.begin());
    {
        std::lock_guard lock(engine->parametersMutex);
        engine->parameters[parameterId] = values;
    }
    if (parameterId == kMapParameterTaskManager) {
        // [start, notStart]: workers hold their tasks while the textures are being replaced.
        const bool pause = values[0] == 0 && values[1] != 0;
        const bool resume = values[0] != 0;
        if (pause || resume) {
            engine->workerA.setPaused(pause);
            engine->workerB.setPaused(pause);
        }
    }
}

MapViewState* mapEngineGetViewState(MapEngine* engine) {
    if (engine == nullptr) return nullptr;
    // The live record goes to a caller that edits it between frames.
    engine->owner.verifyThread(__func__);
    return engine->view ? &*engine->view : nullptr;
}

void mapEngineSetViewState(MapEngine* engine, const MapViewState* state) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (state == nullptr || !engine->view) return;
    const auto taken = view_geometry::validViewState(*state);
    if (!taken) return;
    *engine->view = *taken;
    engine->view->viewport[0] = engine->view->viewport[1] = 0;
    engine->view->viewport[2] = engine->surfaceWidth;
    engine->view->viewport[3] = engine->surfaceHeight;
    mapEngineUpdateView(&*engine->view);
}

MapViewState* mapEngineCopyProjection(MapEngine* engine) {
    if (engine != nullptr) engine->owner.verifyThread(__func__);
    if (engine != nullptr && engine->view) return new MapViewState(*engine->view);
    return new MapViewState(view_geometry::defaultViewState());
}

void mapEngineFreeProjection(MapViewState* state) { delete state; }

PoiHitRecord* mapEngineSelectPois(MapEngine* engine, int32_t, int32_t, int32_t, int* count) {
    if (engine != nullptr) engine->owner.verifyThread(__func__);
    // The engine draws no labels, so it has no points of interest to hit.
    if (count != nullptr) *count = 0;
    return nullptr;
}

int mapEngineGetCurrentTiles(MapEngine* engine, uint8_t* buffer, int32_t capacity,
                             MapDataType dataType) {
    if (engine == nullptr || buffer == nullptr || capacity < 1) return 0;
    std::lock_guard lock(engine->shownMutex);
    const auto found = engine->shown.find(dataType);
    int count = 0;
    size_t position = 1;
    if (found != engine->shown.end()) {
        for (const auto& [name, status] : found->second) {
            if (count == 255 || position + name.size() + 2 > static_cast<size_t>(capacity)) break;
            buffer[position++] = static_cast<uint8_t>(name.size());
            std::memcpy(buffer + position, name.data(), name.size());
            position += name.size();
            buffer[position++] = status;
            ++count;
        }
    }
    buffer[0] = static_cast<uint8_t>(count);
    return count;
}

}  // extern "C"

namespace {

struct SharedShownList {
    std::mutex mutex;
    std::vector<std::string> names;
};

SharedShownList* sharedShownList(MapDataType dataType) {
    static std::map<MapDataType, SharedShownList> lists = [] {
        std::map<MapDataType, SharedShownList> made;
        for (const MapDataType t : kSharedShownTypes) made[t];
        return made;
    }();
    const auto found = lists.find(dataType);
    return found != lists.end() ? &found->second : nullptr;
}

}  // namespace

extern "C" void refreshAllShownGridNames(void) {
    std::vector<std::uint8_t> buffer(kShownBufferSize);
    std::lock_guard engineLock(gEngineMutex);
    for (const MapDataType dataType : kSharedShownTypes) {
        SharedShownList* list = sharedShownList(dataType);
        std::lock_guard lock(list->mutex);
        list->names.clear();
        std::fill(buffer.begin(), buffer.end(), 0);
        const int count =
            mapEngineGetCurrentTiles(gCurrentEngine, buffer.data(), kShownBufferSize, dataType);
        size_t position = 1;
        for (int i = 0; i < count; ++i) {
            const size_t length = buffer[position];
            list->names.emplace_back(reinterpret_cast<const char*>(&buffer[position + 1]), length);
            position += length + 2;
        }
    }
}

std::vector<std::string> shownGridNames(MapDataType dataType) {
    SharedShownList* list = sharedShownList(dataType);
    if (list == nullptr) return {};
    std::lock_guard lock(list->mutex);
    return list->names;
}

const GlyphStore& mapEngineGlyphs(const MapEngine* engine) { return engine->glyphs; }

bool mapEngineWaitForStores(MapEngine* engine, std::chrono::steady_clock::time_point deadline) {
    return engine != nullptr && engine->workerA.drain(deadline);
}

std::optional<std::vector<std::uint8_t>> mapEngineStoredGridData(MapEngine* engine,
                                                                 MapDataType dataType,
                                                                 std::string_view quadKey) {
    const auto key = GridKey::fromQuadKey(quadKey);
    if (engine == nullptr || !key) return std::nullopt;
    const auto tile = engine->cache.find(dataType, *key);
    if (!tile) return std::nullopt;
    return tile->data;
}
