#pragma once

#include <cstdint>

#include "CoreGraphics/CGGeometry.h"
#include "VMGeometry.h"
#include "vmap_core/MapEngine.h"

// What an overlay view needs of the map view that shows it. The map view sits above this
// library, so it answers through this interface.
class VMOverlayMapView {
  public:
    virtual ~VMOverlayMapView() = default;
    virtual CGRect overlayViewBounds() = 0;
    virtual VMMapPoint overlayMapPointForPoint(CGPoint point) = 0;
    // The engine's live view record, or null without an engine.
    virtual const MapViewState* overlayViewState() = 0;
    // The engine's shown grids of a data type, as mapEngineGetCurrentTiles writes them into
    // at most capacity bytes; 0 names without an engine.
    virtual int overlayShownGrids(MapDataType, std::uint8_t*, std::int32_t) { return 0; }
};
