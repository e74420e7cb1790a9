#include "VMInternalTexture.h"

#include <array>
#include <optional>
#include <vector>

#include "VMResources.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kParameterNight = 2401;
constexpr int kParameterSatellite = 2011;
constexpr int kParameterMapMode = 2013;
constexpr int kParameterBlockSize = 36;

std::optional<Bytes> texture(int type) {
    return VMResources::sharedResources()->vava3DDataForTextureType(type);
}

// Every one of the types, or nothing.
template <size_t N>
std::optional<std::array<Bytes, N>> textures(const std::array<int, N>& types) {
    std::array<Bytes, N> loaded;
    for (size_t i = 0; i < N; ++i) {
        auto bytes = texture(types[i]);
        if (!bytes) return std::nullopt;
        loaded[i] = std::move(*bytes);
    }
    return loaded;
}

void setTexture(MapEngine* engine, const Bytes& bytes, int kind) {
    mapEngineSetTexture(engine, bytes.data(), static_cast<int32_t>(bytes.size()), kind);
}

void setParameter(MapEngine* engine, int id, std::initializer_list<uint32_t> values) {
    uint32_t block[kParameterBlockSize] = {};
    size_t i = 0;
    for (const uint32_t v : values) block[i++] = v;
    mapEngineSetParameter(engine, id, block);
}

}  // namespace

void VMInternalTexture::initInternalTextureWithArgument(const InternalTextureArgument& a) {
    SetStyleWithMapEngine(a.engine, a.mapType, a.styleType);
    SetTextureWithMapEngine(a.engine, a.mapType, a.isBus);
    SetTrafficLineWithMapEngine(a.engine, a.mapType);
    SetGuideBoardWithMapEngine(a.engine, a.mapType);
    SetSkyTextureWithEngine(a.engine, a.mapType);
}

void VMInternalTexture::updateInternalTextureWithArgument(const InternalTextureArgument& a) {
    if (a.engine == nullptr) return;
    updateMapEngineParameterForVgAsynTaskManagerStart(false, a.engine);
    initInternalTextureWithArgument(a);
    updateMapEngineParameterForSatelliteWithArgument(a);
    updateMapEngineParameterForNightWithArgument(a);
    updateMapEngineParameterForVgAsynTaskManagerStart(true, a.engine);
    updateMapEngineParameterMapModestateWithArgument(a);
}

void VMInternalTexture::SetStyleWithMapEngine(MapEngine* engine, int64_t mapType,
                                              int64_t styleType) {
    // Style resource by map type (row) and style type (column).
    static constexpr int kStyles[2][4] = {{0, 2, 3, 5}, {4, 2, 4, 6}};
    if (mapType < 0 || mapType > 1 || styleType < 0 || styleType > 3) return;
    const auto style =
        VMResources::sharedResources()->vava3DDataForStyleType(kStyles[mapType][styleType]);
    if (!style) return;
    mapEngineSetStyle(engine, style->data(), static_cast<int32_t>(style->size()), 0, 1);
}

void VMInternalTexture::SetIconAndBktileWitMapEngine(MapEngine* engine, int64_t mapType,
                                                     bool isBus) {
    const int iconType = isBus ? 2 : (mapType == 1 ? 1 : 0);
    if (mapType != 0 && mapType != 1) return;
    const auto icons = texture(iconType);
    const auto tile = texture(mapType == 0 ? 4 : 5);
    if (!icons || !tile) return;
    mapEngineSetTexture(engine, tile->data(), 0, 1);
    setTexture(engine, *tile, 1);
    setTexture(engine, *icons, 0);
    // Passed on even when missing.
    const auto pointer = texture(3);
    if (pointer) {
        setTexture(engine, *pointer, 20);
    } else {
        mapEngineSetTexture(engine, nullptr, 0, 20);
    }
}

void VMInternalTexture::SetTextureWithMapEngine(MapEngine* engine, int64_t mapType, bool isBus) {
    SetIconAndBktileWitMapEngine(engine, mapType, isBus);
    // Kind 10 takes the same texture as kind 9.
    const auto lines = textures<5>({6, 7, 8, 9, 9});
    if (!lines) return;
    static constexpr int kKinds[5] = {2, 3, 8, 9, 10};
    for (size_t i = 0; i < 5; ++i) setTexture(engine, (*lines)[i], kKinds[i]);
}

void VMInternalTexture::SetTrafficLineWithMapEngine(MapEngine* engine, int64_t mapType) {
    const int column = mapType == 0 ? 0 : (mapType == 1 ? 1 : 2);
    static constexpr int kKinds[5] = {6, 5, 4, 7, 18};
    const auto lines =
        textures<5>({11 + column, 14 + column, 17 + column, 20 + column, 23 + column});
    if (!lines) return;
    for (size_t i = 0; i < 5; ++i) setTexture(engine, (*lines)[i], kKinds[i]);
}

void VMInternalTexture::SetGuideBoardWithMapEngine(MapEngine* engine, int64_t mapType) {
    if (mapType != 0 && mapType != 1) return;
    static constexpr int kKinds[8] = {11, 12, 13, 14, 15, 16, 17, 21};
    std::array<int, 8> types{};
    for (size_t i = 0; i < 8; ++i) types[i] = 26 + 2 * static_cast<int>(i) + (mapType == 1);
    const auto boards = textures<8>(types);
    if (!boards) return;
    for (size_t i = 0; i < 8; ++i) setTexture(engine, (*boards)[i], kKinds[i]);
}

void VMInternalTexture::SetSkyTextureWithEngine(MapEngine* engine, int64_t mapType) {
    if (mapType != 0 && mapType != 1) return;
    const auto sky = texture(mapType == 0 ? 42 : 43);
    if (sky) setTexture(engine, *sky, 41);
}

void VMInternalTexture::updateMapEngineParameterForNightWithArgument(
    const InternalTextureArgument& a) {
    setParameter(a.engine, kParameterNight, {a.nightMode == 1 ? 1u : 0u});
}

void VMInternalTexture::updateMapEngineParameterForSatelliteWithArgument(
    const InternalTextureArgument& a) {
    setParameter(a.engine, kParameterSatellite, {a.styleType == 1 ? 1u : 0u});
}

void VMInternalTexture::updateMapEngineParameterForVgAsynTaskManagerStart(bool start,
                                                                          MapEngine* engine) {
    setParameter(engine, kMapParameterTaskManager, {start ? 1u : 0u, start ? 0u : 1u});
}

void VMInternalTexture::updateMapEngineParameterMapModestateWithArgument(
    const InternalTextureArgument& a) {
    setParameter(a.engine, kParameterMapMode,
                 {static_cast<uint32_t>(a.styleType), static_cast<uint32_t>(a.mapType),
                  static_cast<uint32_t>(a.nightMode)});
}
