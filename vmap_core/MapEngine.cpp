#include "MapEngine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <optional>
#include <set>
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
#include "zlib.h"

namespace {

constexpr size_t kCacheMaxTiles = 2048;
constexpr size_t kCacheMaxBytes = size_t{64} << 20;
constexpr MapDataType kMaxDataType = 9;
constexpr MapDataType kTrafficDataType = 4;
constexpr MapDataType kWorkerRequestTypes[] = {0, 1, 7, 8, 9};
constexpr MapDataType kShownTypes[] = {0, 1, 3, 4, 5, 7, 8, 9};
constexpr MapDataType kSharedShownTypes[] = {0, 1, 3, 4, 7, 8};
// A display refresh's rate: the map view's frame loop calls at most this often.
constexpr int kEngineFrameRate = 60;
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

// The colours a style blob sets; the engine draws in these until it gets one.
struct StyleColours {
    Colour background{0.953f, 0.945f, 0.925f, 1.0f};
    Colour land{0.878f, 0.910f, 0.816f, 1.0f};
    Colour water{0.702f, 0.808f, 0.914f, 0.35f};
    Colour label{0.2f, 0.2f, 0.2f, 1.0f};
};
enum StyleRole : std::uint8_t { kRoleBackground, kRoleLand, kRoleWater, kRoleLabel };
constexpr size_t kMaxStyleBytes = 4096;

// Flat fill per data type, in drawing order; the base map is opaque, the rest tint it. Land and
// water take their colour from the style.
struct Layer {
    MapDataType dataType;
    Colour colour;
};
constexpr Layer kLayers[] = {
    {0, {}},
    {1, {}},
    {3, {0.851f, 0.820f, 0.792f, 0.35f}},
    {7, {0.914f, 0.855f, 0.702f, 0.35f}},
    {8, {0.800f, 0.741f, 0.878f, 0.35f}},
    {9, {0.741f, 0.878f, 0.855f, 0.35f}},
};
constexpr MapDataType kFeatureTypes[] = {0, 1, 3, 7, 8, 9};

// Traffic colours (ARGB) by state until parameter 2202 sets others.
constexpr std::array<std::uint32_t, 4> kDefaultTrafficColours{0xFF3CD26E, 0xFFFAB446, 0xFFFF5F5F,
                                                              0xFFB40F0F};
constexpr float kTrafficHalfWidthPixels = 4;

// Labels: glyph bitmaps are 24 points square, drawn with a 20-point font.
constexpr float kGlyphPoints = 24;
constexpr int kLabelFontSize = 20;
constexpr size_t kMaxCallLog = 4096;

using ShownList = std::vector<std::pair<std::string, std::uint8_t>>;

}  // namespace

struct MapEngine {
    const OwningThread owner;
    EngineCreationRecord creation{};
    int frameRate = 0;  // set at creation, read from any thread

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
    // Main thread only.
    StyleColours styleColours;
    std::set<std::uint16_t> askedGlyphs;
    std::vector<GridKey> lastVisible;
    std::array<std::uint8_t, 256> asciiWidths{};
    bool asciiWidthsAsked = false;

    std::mutex callsMutex;
    std::deque<EngineCall> calls;
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

std::optional<std::array<std::uint32_t, 4>> parameterValues(MapEngine* engine, int id) {
    std::lock_guard lock(engine->parametersMutex);
    const auto found = engine->parameters.find(id);
    if (found == engine->parameters.end()) return std::nullopt;
    return found->second;
}

void logCall(MapEngine* engine, EngineCall call) {
    std::lock_guard lock(engine->callsMutex);
    if (engine->calls.size() == kMaxCallLog) engine->calls.pop_front();
    engine->calls.push_back(std::move(call));
}

Colour argbColour(std::uint32_t argb, float alpha) {
    return {float(argb >> 16 & 0xFF) / 255, float(argb >> 8 & 0xFF) / 255, float(argb & 0xFF) / 255,
            alpha};
}

// The blob's colour table, inflated when compressed; nothing when it is not one.
std::optional<StyleColours> parseStyle(std::span<const std::uint8_t> bytes, bool compressed) {
    std::vector<std::uint8_t> table(bytes.begin(), bytes.end());
    if (compressed) {
        table.assign(kMaxStyleBytes, 0);
        uLongf size = kMaxStyleBytes;
        if (uncompress(table.data(), &size, bytes.data(), static_cast<uLong>(bytes.size())) !=
            Z_OK) {
            return std::nullopt;
        }
        table.resize(size);
    }
    if (table.size() < 6 || std::memcmp(table.data(), "VMST", 4) != 0 || table[4] != 1) {
        return std::nullopt;
    }
    const size_t count = table[5];
    if (table.size() != 6 + count * 5) return std::nullopt;
    StyleColours colours;
    for (size_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = &table[6 + i * 5];
        const std::uint32_t argb = std::uint32_t{entry[1]} << 24 | std::uint32_t{entry[2]} << 16 |
                                   std::uint32_t{entry[3]} << 8 | entry[4];
        switch (entry[0]) {
            case kRoleBackground:
                colours.background = argbColour(argb, 1);
                break;
            case kRoleLand:
                colours.land = argbColour(argb, colours.land.a);
                break;
            case kRoleWater:
                colours.water = argbColour(argb, colours.water.a);
                break;
            case kRoleLabel:
                colours.label = argbColour(argb, 1);
                break;
            default:
                break;
        }
    }
    return colours;
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
    const StyleColours& style = engine->styleColours;
    glViewport(0, 0, engine->surfaceWidth, engine->surfaceHeight);
    glClearColor(style.background.r, style.background.g, style.background.b, style.background.a);
    // Nothing the map draws tests or writes depth, so only colour is cleared: clearing the
    // depth buffer too cost a software rasteriser a tenth of a plain frame.
    glClear(GL_COLOR_BUFFER_BIT);
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
        const Colour colour = layer.dataType == 0   ? style.land
                              : layer.dataType == 1 ? style.water
                                                    : layer.colour;
        glColor4f(colour.r, colour.g, colour.b, colour.a);
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

std::array<std::uint32_t, 4> trafficColours(MapEngine* engine) {
    const auto on = parameterValues(engine, 2201);
    const auto colours = parameterValues(engine, 2202);
    if (!on || (*on)[0] == 0 || !colours) return kDefaultTrafficColours;
    return *colours;
}

// Traffic segments as bands of a few pixels, in the colour of their state.
void drawTraffic(MapEngine* engine, const MapViewState& view, const std::vector<GridKey>& visible) {
    if (!parameterOn(engine, kMapParameterTraffic)) return;
    const auto colours = trafficColours(engine);
    const double halfX = kTrafficHalfWidthPixels * view.mapUnitsPerPixel / view.mapUnitsPerGLX;
    const double halfY = kTrafficHalfWidthPixels * view.mapUnitsPerPixel / view.mapUnitsPerGLY;
    loadViewMatrices(view);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnableClientState(GL_VERTEX_ARRAY);
    for (const auto& tile : engine->cache.covering(kTrafficDataType, visible, kFallbackLevels)) {
        for (const TrafficSegment& segment : tile->features.segments) {
            const Colour c = argbColour(colours[segment.state], 1);
            glColor4f(c.r, c.g, c.b, float(colours[segment.state] >> 24) / 255);
            for (size_t i = 1; i < segment.points.size(); ++i) {
                const double ax =
                    (segment.points[i - 1].first - view.originX) / view.mapUnitsPerGLX;
                const double ay =
                    (segment.points[i - 1].second - view.originY) / view.mapUnitsPerGLY;
                const double bx = (segment.points[i].first - view.originX) / view.mapUnitsPerGLX;
                const double by = (segment.points[i].second - view.originY) / view.mapUnitsPerGLY;
                const double length = std::hypot((bx - ax) * halfY, (by - ay) * halfX);
                if (length <= 0) continue;
                // Unit normal scaled to the half width on each axis.
                const double nx = -(by - ay) * halfX * halfY / length;
                const double ny = (bx - ax) * halfX * halfY / length;
                const GLfloat band[] = {GLfloat(ax + nx), GLfloat(ay + ny), GLfloat(ax - nx),
                                        GLfloat(ay - ny), GLfloat(bx + nx), GLfloat(by + ny),
                                        GLfloat(bx - nx), GLfloat(by - ny)};
                glVertexPointer(2, GL_FLOAT, 0, band);
                glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
            }
        }
    }
    glDisableClientState(GL_VERTEX_ARRAY);
    glColor4f(1, 1, 1, 1);
}

// The named points of the held grids under the view, each once.
std::vector<NamedPoint> namedPoints(MapEngine* engine, const std::vector<GridKey>& visible) {
    std::vector<NamedPoint> points;
    for (const MapDataType dataType : kFeatureTypes) {
        for (const auto& tile : engine->cache.covering(dataType, visible, kFallbackLevels)) {
            points.insert(points.end(), tile->features.points.begin(), tile->features.points.end());
        }
    }
    return points;
}

std::optional<std::pair<double, double>> screenPoint(const MapViewState& view,
                                                     const NamedPoint& point) {
    float glX = NAN, glY = NAN;
    mapEngineMapToGL(&view, point.x, point.y, &glX, &glY);
    if (!std::isfinite(glX) || !std::isfinite(glY)) return std::nullopt;
    double x = NAN, y = NAN;
    mapEngineGLToScreen(&view, &x, &y, glX, glY);
    if (!std::isfinite(x) || !std::isfinite(y)) return std::nullopt;
    return std::make_pair(x, y);
}

// Asks once per code, on worker B, for the bitmaps and then the widths of the glyphs not held.
void requestGlyphs(MapEngine* engine, const std::vector<std::uint16_t>& codes) {
    std::vector<std::uint16_t> missing;
    for (const std::uint16_t code : codes) {
        if (engine->askedGlyphs.insert(code).second) missing.push_back(code);
    }
    if (missing.empty()) return;
    const bool askAscii = !engine->asciiWidthsAsked;
    engine->asciiWidthsAsked = true;
    engine->workerB.post([engine, missing, askAscii] {
        std::lock_guard lock(engine->workerCallMutex);
        const int count = static_cast<int>(missing.size());
        ENGINE_CALL(engine, labelsRequired, missing.data(), count);
        if (askAscii) {
            // Quarter points per character of the label font.
            std::array<std::uint8_t, 256> ascii{};
            ENGINE_CALL(engine, asciiCharWidths, ascii.data(), kLabelFontSize);
            for (int c = 0; c < 128; ++c)
                engine->glyphs.putWidth(std::uint16_t(c), ascii[c] / 4.0f);
        }
        std::vector<std::uint8_t> widths(missing.size(), 0);
        ENGINE_CALL(engine, charWidths, missing.data(), count, kLabelFontSize, widths.data());
        for (size_t i = 0; i < missing.size(); ++i) {
            if (missing[i] >= 128) engine->glyphs.putWidth(missing[i], widths[i]);
        }
    });
}

size_t powerOfTwo(size_t n) {
    size_t p = 1;
    while (p < n) p <<= 1;
    return p;
}

// One label: its glyphs side by side in one alpha texture, centred on its point.
void drawLabel(MapEngine* engine, const NamedPoint& point, std::pair<double, double> at) {
    std::vector<GlyphBitmap> glyphs;
    std::vector<float> advances;
    for (const char16_t unit : point.name) {
        auto glyph = engine->glyphs.find(unit);
        const auto width = engine->glyphs.width(unit);
        if (!glyph || !width) return;
        advances.push_back(*width * float(glyph->side) / kGlyphPoints);
        glyphs.push_back(std::move(*glyph));
    }
    if (glyphs.empty()) return;
    const size_t side = static_cast<size_t>(glyphs.front().side);
    float total = 0;
    for (size_t i = 0; i + 1 < advances.size(); ++i) total += advances[i];
    const size_t width = static_cast<size_t>(std::ceil(total)) + side;
    const size_t texWidth = powerOfTwo(width), texHeight = powerOfTwo(side);
    std::vector<std::uint8_t> alpha(texWidth * texHeight, 0);
    float pen = 0;
    for (size_t g = 0; g < glyphs.size(); ++g) {
        const GlyphBitmap& glyph = glyphs[g];
        const size_t gs = std::min(static_cast<size_t>(glyph.side), side);
        const size_t left = static_cast<size_t>(pen);
        for (size_t row = 0; row < gs; ++row) {
            for (size_t col = 0; col < gs && left + col < texWidth; ++col) {
                std::uint8_t& out = alpha[row * texWidth + left + col];
                out = std::max(out, glyph.alpha[row * glyph.side + col]);
            }
        }
        pen += advances[g];
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, GLsizei(texWidth), GLsizei(texHeight), 0, GL_ALPHA,
                 GL_UNSIGNED_BYTE, alpha.data());
    const GLfloat x0 = GLfloat(std::round(at.first - double(width) / 2));
    const GLfloat y0 = GLfloat(std::round(at.second - double(side) / 2));
    const GLfloat x1 = x0 + GLfloat(texWidth), y1 = y0 + GLfloat(texHeight);
    const GLfloat vertices[] = {x0, y0, x1, y0, x0, y1, x1, y1};
    const GLfloat coords[] = {0, 0, 1, 0, 0, 1, 1, 1};
    const Colour& c = engine->styleColours.label;
    glColor4f(c.r, c.g, c.b, c.a);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, coords);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDeleteTextures(1, &texture);
}

// Labels lie flat on the screen over everything else, once their glyphs have come.
void drawLabels(MapEngine* engine, const MapViewState& view, const std::vector<GridKey>& visible) {
    const auto labels = parameterValues(engine, 1024);
    if (labels && (*labels)[0] == 0) return;
    const std::vector<NamedPoint> points = namedPoints(engine, visible);
    std::vector<std::uint16_t> codes;
    for (const NamedPoint& point : points)
        codes.insert(codes.end(), point.name.begin(), point.name.end());
    requestGlyphs(engine, codes);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrthof(0, GLfloat(engine->surfaceWidth), GLfloat(engine->surfaceHeight), 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_TEXTURE_2D);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (const NamedPoint& point : points) {
        if (const auto at = screenPoint(view, point)) drawLabel(engine, point, *at);
    }
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisable(GL_TEXTURE_2D);
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
    engine->frameRate = kEngineFrameRate;
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

int mapEngineGetFrameRate(const MapEngine* engine) { return engine ? engine->frameRate : 0; }

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

    engine->lastVisible = visible;
    ENGINE_CALL(engine, renderMap, kRenderStateProjectionReady);
    if (hasSurface) {
        drawMap(engine, view, visible);
        drawTraffic(engine, view, visible);
    }
    loadViewMatrices(view);
    ENGINE_CALL(engine, renderMap, kRenderStateOverlayLevel0);
    loadViewMatrices(view);
    ENGINE_CALL(engine, renderMap, kRenderStateOverlayLevel1);
    if (hasSurface) {
        drawLabels(engine, view, visible);
        loadViewMatrices(view);
    }
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
    auto features = parseGridFeatures(tile->data);
    if (!features) return 0;
    tile->features = std::move(*features);
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
    logCall(engine, {"mapEngineSetStyle",
                     mapType,
                     std::vector<std::uint8_t>(bytes, bytes + length),
                     {compressed}});
    engine->style.assign(bytes, bytes + length);
    engine->styleMapType = mapType;
    engine->styleCompressed = compressed != 0;
    const auto colours = parseStyle(engine->style, engine->styleCompressed);
    if (!colours) {
        std::fprintf(stderr, "map engine: style of %d bytes is not a colour table; kept the last\n",
                     length);
        return;
    }
    engine->styleColours = *colours;
}

void mapEngineSetTexture(MapEngine* engine, const uint8_t* bytes, int32_t length, int kind) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    if (length < 0 || (bytes == nullptr && length > 0)) return;
    logCall(engine,
            {"mapEngineSetTexture", kind, std::vector<std::uint8_t>(bytes, bytes + length), {}});
    engine->textures[kind].assign(bytes, bytes + length);
}

void mapEngineSetParameter(MapEngine* engine, int parameterId, const uint32_t* block) {
    if (engine == nullptr) return;
    engine->owner.verifyThread(__func__);
    std::array<std::uint32_t, 4> values{};
    if (block != nullptr) std::copy(block, block + 4, values.begin());
    logCall(
        engine,
        {"mapEngineSetParameter", parameterId, {}, {values[0], values[1], values[2], values[3]}});
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

PoiHitRecord* mapEngineSelectPois(MapEngine* engine, int32_t x, int32_t y, int32_t radius,
                                  int* count) {
    if (count != nullptr) *count = 0;
    if (engine == nullptr) return nullptr;
    engine->owner.verifyThread(__func__);
    if (count == nullptr) return nullptr;
    logCall(engine, {"mapEngineSelectPois", 0, {}, {x, y, radius}});
    if (radius < 0 || !engine->view) return nullptr;
    struct Hit {
        double distance;
        NamedPoint point;
    };
    std::vector<Hit> hits;
    for (NamedPoint& point : namedPoints(engine, engine->lastVisible)) {
        if (!point.poi) continue;
        const auto at = screenPoint(*engine->view, point);
        if (!at) continue;
        const double distance = std::hypot(at->first - x, at->second - y);
        if (distance <= radius) hits.push_back({distance, std::move(point)});
    }
    if (hits.empty()) return nullptr;
    std::stable_sort(hits.begin(), hits.end(),
                     [](const Hit& a, const Hit& b) { return a.distance < b.distance; });
    auto* records = static_cast<PoiHitRecord*>(std::calloc(hits.size(), sizeof(PoiHitRecord)));
    if (records == nullptr) return nullptr;
    for (size_t i = 0; i < hits.size(); ++i) {
        const NamedPoint& point = hits[i].point;
        records[i].x = point.x;
        records[i].y = point.y;
        const size_t n = std::min<size_t>(point.name.size(), 255);
        std::copy_n(point.name.begin(), n, records[i].name);
        records[i].nameLength = static_cast<uint8_t>(n);
    }
    *count = static_cast<int>(hits.size());
    return records;
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

bool mapEngineWaitForRequests(MapEngine* engine, std::chrono::steady_clock::time_point deadline) {
    return engine != nullptr && engine->workerB.drain(deadline);
}

std::vector<EngineCall> mapEngineCalls(MapEngine* engine) {
    std::lock_guard lock(engine->callsMutex);
    return {engine->calls.begin(), engine->calls.end()};
}

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
