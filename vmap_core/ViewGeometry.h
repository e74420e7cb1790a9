#pragma once

#include <array>
#include <optional>
#include <vector>

#include "GridKey.h"
#include "MapEngine.h"

// The engine's camera maths behind the flat projection functions.
namespace view_geometry {

inline constexpr std::uint32_t kWorldSize = 1u << 28;
inline constexpr std::uint32_t kMaxMapCoordinate = kWorldSize - 1;
// Above this many grids a view asks for nothing more (a steep pitch sees far).
inline constexpr size_t kMaxVisibleGrids = 1024;

struct MapPointD {
    double x = 0;
    double y = 0;
};

// The level whose grids are the reference and the requested data for this zoom.
int levelForZoom(float zoomLevel);
MapViewState defaultViewState();
// A record handed in whole, brought within the rules of the setters: the centre clamped to the
// plane, a zoom below the minimum raised to it, the pitch clamped. Nothing when a camera value is
// not finite or the zoom's integer part is above the maximum.
std::optional<MapViewState> validViewState(const MapViewState& state);
// Origin, map units per GL unit and per pixel, from the centre and zoom.
void recomputeReference(MapViewState& state);
GridKey referenceGrid(const MapViewState& state);
// The ground under the viewport corners (top left, top right, bottom right, bottom left).
std::optional<std::array<MapPointD, 4>> visibleQuad(const MapViewState& state);
// Grids of the level that the visible ground touches, nearest the centre first; empty for an
// empty viewport or when there are more than kMaxVisibleGrids.
std::vector<GridKey> visibleGrids(const MapViewState& state, int level);
bool intersectsQuad(const GridKey& grid, const std::array<MapPointD, 4>& quad);

}  // namespace view_geometry
