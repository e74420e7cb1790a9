#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "VMHeatMapGradient.h"
#include "VMHeatMapNode.h"
#include "VMQuadTree.h"
#include "VMTileOverlay.h"

using VMHeatMapData = std::shared_ptr<const std::vector<std::shared_ptr<VMHeatMapNode>>>;
// The nodes filed by map point for the tiles' queries.
class VMHeatMapPointIndex;
// The brightest cell of each zoom level 0..20.
using VMHeatMapMaxima = std::array<float, 21>;

// Tiles computed from weighted points: each one the points' intensities blurred, scaled by the
// zoom level's brightest cell and coloured through a gradient.
class VMHeatMapTileOverlay : public VMTileOverlay {
  public:
    static std::shared_ptr<VMHeatMapTileOverlay> create();

    VMHeatMapData data() const { return state()->data; }
    // Builds the index and the per-zoom maxima on the calling thread.
    void setData(VMHeatMapData data);
    int64_t radius() const { return state()->radius; }
    // Tile pixels, 0..100.
    void setRadius(int64_t radius);
    double opacity() const { return state()->opacity; }
    void setOpacity(double opacity);
    std::shared_ptr<VMHeatMapGradient> gradient() const { return state()->gradient; }
    void setGradient(const std::shared_ptr<VMHeatMapGradient>& gradient);
    bool allowRetinaAdapting() const { return state()->allowRetinaAdapting; }
    void setAllowRetinaAdapting(bool allow);

    // Files the data's nodes by map point again, for nodes moved since the data was set. The
    // index is a flat grid over the data's box: it answers the box queries of a quad tree
    // faster, and is built from two arrays.
    void buildQuadTree();
    // What buildQuadTree made; null without data.
    std::shared_ptr<const VMHeatMapPointIndex> quadTree() const { return state()->quadTree; }

    VMMapRect boundingMapRectForHeatMapData() const;
    VMAnnotationList heatMapnodesInMapRect(VMMapRect rect) const;
    VMMapRect mapRectWithTilePath(const VMTileOverlayPath& path) const;
    static VMMapPoint pointInTileWithMapPoint(VMMapPoint point, VMMapRect withInMapRect,
                                              int64_t atZoomLevel);
    // Null for radius 0.
    static std::shared_ptr<const VMHeatMapMaxima> getMaxIntensitiesWithRadius(
        int64_t radius, const VMHeatMapData& datas, VMMapRect mapRect);
    static float getMaxValueWithPoints(const VMHeatMapData& points, VMMapRect vmMapRect,
                                       int64_t radius, int64_t screenDim);

    // Computes the tile on the calling thread (the tile view's loader) and calls back there.
    void loadTileAtPath(const VMTileOverlayPath& path, ResultBlock result) override;

  private:
    // Everything a tile reads, swapped whole so that a tile computed while the application
    // changes the data sees one consistent set.
    struct State {
        VMHeatMapData data;
        int64_t radius = 12;
        double opacity = 0.6;
        std::shared_ptr<VMHeatMapGradient> gradient;
        bool allowRetinaAdapting = false;
        std::shared_ptr<const VMHeatMapPointIndex> quadTree;
        std::shared_ptr<const VMHeatMapMaxima> maxima;
    };

    VMHeatMapTileOverlay();
    std::shared_ptr<const State> state() const;
    void update(const std::function<void(State&)>& change);
    static VMMapRect boundingMapRectFor(const VMHeatMapData& data);
    static void buildQuadTree(State& s);

    mutable std::mutex stateMutex_;
    std::shared_ptr<const State> state_;
};
