#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "GlyphStore.h"
#include "MapEngine.h"

// What the engine's own tests and tools see inside an engine beyond its flat interface.

// The glyphs that mapEnginePutGlyphBitmaps stored.
const GlyphStore& mapEngineGlyphs(const MapEngine* engine);

// Waits until every grid put before the call is stored (worker A stores them). False when the
// deadline passes first, as it does while the task manager holds the workers, or when the engine
// is going.
bool mapEngineWaitForStores(MapEngine* engine, std::chrono::steady_clock::time_point deadline);

// Waits until worker B has finished every request posted before the call (grids, glyphs and
// their widths). False when the deadline passes first.
bool mapEngineWaitForRequests(MapEngine* engine, std::chrono::steady_clock::time_point deadline);

// One call that changed how the engine draws, as the engine received it.
struct EngineCall {
    std::string function;
    int number = 0;                    // parameter id, texture kind or style map type
    std::vector<std::uint8_t> bytes;   // style or texture bytes
    std::vector<std::int64_t> values;  // parameter values, compressed flag, pick point and radius
};

// Styles, textures, parameters and picks, oldest first (the last few thousand).
std::vector<EngineCall> mapEngineCalls(MapEngine* engine);

// The data of a stored grid after its name (and traffic header); nullopt when none is held.
std::optional<std::vector<std::uint8_t>> mapEngineStoredGridData(MapEngine* engine,
                                                                 MapDataType dataType,
                                                                 std::string_view quadKey);
