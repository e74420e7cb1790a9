// Drives one map engine through the calls its callers make, with operands taken from the input:
// view records and camera values of any bit pattern, grid bodies, glyph bitmaps with any side,
// parameters, styles, projection inputs and output buffers of any capacity.
//
// The input is a series of operations, each an opcode byte and its operands (little-endian);
// operands past the end of the input read as zero. Buffers handed to the engine are exactly as
// long as their stated length, so a read or write past them is caught.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "vmap_core/MapEngine.h"

namespace {

class Input {
  public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool empty() const { return at_ >= size_; }

    template <class T>
    T take() {
        static_assert(std::is_trivially_copyable_v<T>);
        const std::vector<uint8_t> raw = bytes(sizeof(T));
        T value;
        std::memcpy(&value, raw.data(), sizeof(T));
        return value;
    }

    std::vector<uint8_t> bytes(size_t count) {
        std::vector<uint8_t> out(count, 0);
        const size_t n = std::min(count, size_ - std::min(at_, size_));
        if (n > 0) std::memcpy(out.data(), data_ + at_, n);
        at_ += count;
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// Each packed name must end inside its slot.
void checkNames(void*, MapDataType, const char* names, int count) {
    if (count < 1 || count > kMaxGridNamesPerRequest || names == nullptr) std::abort();
    for (int i = 0; i < count; ++i) {
        const char* slot = names + static_cast<size_t>(i) * kGridNameSlotSize;
        if (strnlen(slot, kGridNameSlotSize) == kGridNameSlotSize) std::abort();
    }
}

void checkReference(void*, const char* oldGrid, const char* newGrid) {
    if (oldGrid == nullptr || newGrid == nullptr) std::abort();
    if (strnlen(oldGrid, kGridNameSlotSize) == kGridNameSlotSize) std::abort();
    if (strnlen(newGrid, kGridNameSlotSize) == kGridNameSlotSize) std::abort();
}

void editRecord(MapViewState* view, Input& in) {
    if (view == nullptr) return;
    switch (in.take<uint8_t>() % 5) {
        case 0: {
            const auto x = in.take<int32_t>();
            mapEngineSetCenter(view, x, in.take<int32_t>());
            break;
        }
        case 1:
            mapEngineSetZoomLevel(view, in.take<float>());
            break;
        case 2:
            mapEngineSetRotation(view, in.take<float>());
            break;
        case 3:
            mapEngineSetCameraPitch(view, in.take<float>());
            break;
        default:
            // Callers also write the record's fields directly.
            view->zoomLevel = in.take<float>();
            view->cameraPitch = in.take<float>();
            break;
    }
    mapEngineUpdateView(view);
}

void project(const MapViewState* view, Input& in) {
    float glX = 0, glY = 0;
    int32_t mapX = 0, mapY = 0;
    double screenX = 0, screenY = 0;
    switch (in.take<uint8_t>() % 6) {
        case 0: {
            const auto x = in.take<int32_t>();
            mapEngineMapToGL(view, x, in.take<int32_t>(), &glX, &glY);
            break;
        }
        case 1: {
            const auto x = in.take<float>();
            mapEngineGLToMap(view, &mapX, &mapY, x, in.take<float>());
            break;
        }
        case 2: {
            const auto x = in.take<float>();
            mapEngineGLToScreen(view, &screenX, &screenY, x, in.take<float>());
            break;
        }
        case 3: {
            const auto x = in.take<double>();
            mapEngineScreenToGL(view, &glX, &glY, x, in.take<double>());
            break;
        }
        case 4:
            mapEngineMapLengthAtCenter(view, in.take<int32_t>());
            break;
        default:
            mapEngineMapLengthForPixels(view, in.take<int32_t>());
            break;
    }
}

void coordinates(Input& in) {
    int32_t x = 0, y = 0;
    const auto longitude = in.take<double>();
    mapEngineCoordinateToMapPoint(&x, &y, longitude, in.take<double>());
    double lon = 0, lat = 0;
    const auto mapX = in.take<int32_t>();
    mapEngineMapPointToCoordinate(mapX, in.take<int32_t>(), &lon, &lat);
}

void putGlyph(MapEngine* engine, Input& in) {
    const auto code = in.take<uint16_t>();
    const auto side = in.take<int32_t>();
    // A caller's buffer holds side × side bytes; for sides the engine must refuse, one byte.
    const bool plausible = side > 0 && side <= 2 * kGlyphBitmapMaxSide;
    const size_t length = plausible ? static_cast<size_t>(side) * static_cast<size_t>(side) : 1;
    const std::vector<uint8_t> bitmap = in.bytes(length);
    const int result = mapEnginePutGlyphBitmaps(engine, code, bitmap.data(), side);
    if (result != (side >= 1 && side <= kGlyphBitmapMaxSide ? 0 : -1)) std::abort();
}

void setParameter(MapEngine* engine, Input& in) {
    static constexpr int kIds[] = {kMapParameterTraffic, kMapParameterTaskManager, 1024, 2202};
    const auto pick = in.take<uint8_t>();
    uint32_t block[36] = {};
    for (int i = 0; i < 4; ++i) block[i] = in.take<uint32_t>();
    mapEngineSetParameter(engine, kIds[pick % 4], pick >= 128 ? nullptr : block);
}

void currentTiles(MapEngine* engine, Input& in) {
    const auto dataType = in.take<int8_t>();
    const auto capacity = in.take<uint16_t>();
    std::vector<uint8_t> buffer(capacity);
    const int count = mapEngineGetCurrentTiles(engine, buffer.data(), capacity, dataType);
    if (count < 0 || count > 255 || (capacity > 0 && buffer[0] != count)) std::abort();
}

void run(MapEngine* engine, Input& in) {
    // Enough operations and frames for any sequence worth finding; a frame of a large view is
    // by far the costliest operation.
    constexpr int kMaxSteps = 256;
    constexpr int kMaxFrames = 8;
    int frames = 0;
    for (int step = 0; step < kMaxSteps && !in.empty(); ++step) {
        switch (in.take<uint8_t>() % 13) {
            case 0: {
                const auto width = in.take<int32_t>();
                mapEngineSetSurfaceSize(engine, width, in.take<int32_t>());
                break;
            }
            case 1:
                if (++frames <= kMaxFrames) mapEngineRenderFrame(engine);
                break;
            case 2: {
                const auto record = in.take<MapViewState>();
                mapEngineSetViewState(engine, &record);
                break;
            }
            case 3:
                editRecord(mapEngineGetViewState(engine), in);
                break;
            case 4: {
                const auto dataType = in.take<int8_t>();
                const std::vector<uint8_t> body = in.bytes(in.take<uint16_t>());
                mapEnginePutGridData(engine, dataType, body.data(),
                                     static_cast<int32_t>(body.size()));
                break;
            }
            case 5:
                putGlyph(engine, in);
                break;
            case 6:
                setParameter(engine, in);
                break;
            case 7: {
                const auto mapType = in.take<int32_t>();
                const std::vector<uint8_t> style = in.bytes(in.take<uint16_t>());
                mapEngineSetStyle(engine, style.data(), static_cast<int32_t>(style.size()), mapType,
                                  1);
                break;
            }
            case 8: {
                const auto kind = in.take<int32_t>();
                const std::vector<uint8_t> image = in.bytes(in.take<uint16_t>());
                mapEngineSetTexture(engine, image.data(), static_cast<int32_t>(image.size()), kind);
                break;
            }
            case 9:
                project(mapEngineGetViewState(engine), in);
                break;
            case 10:
                coordinates(in);
                break;
            case 11:
                currentTiles(engine, in);
                break;
            default: {
                const auto x = in.take<int32_t>();
                const auto y = in.take<int32_t>();
                const auto radius = in.take<int32_t>();
                int count = -1;
                PoiHitRecord* hits = mapEngineSelectPois(engine, x, y, radius, &count);
                std::free(hits);
                mapEngineFreeProjection(mapEngineCopyProjection(engine));
                refreshAllShownGridNames();
                break;
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EngineCreationRecord creation{};
    std::strcpy(creation.dataDirectory, "/nonexistent/zaroruda/data/");
    std::strcpy(creation.fontName, "Sans Bold");
    MapEngine* engine = mapEngineCreate(&creation);
    mapEngineSetMapDataRequiredCallback(engine, checkNames, nullptr);
    mapEngineSetReferenceChangedCallback(engine, checkReference, nullptr);
    mapEngineInit(engine);
    Input in(data, size);
    run(engine, in);
    mapEngineDestroy(engine);
    return 0;
}
