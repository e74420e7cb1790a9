#pragma once

#include <cstdint>
#include <vector>

#include "VMVector.h"

namespace VMTriangulator {

// Ear clipping into 32-bit indices of the caller's points, three per triangle, in the clockwise
// sense. The result is owned here and overwritten by the next call.
class VMPolygonTriangulator {
  public:
    virtual ~VMPolygonTriangulator() = default;

    const std::vector<std::uint32_t>& triangulate(const VMPointList& polygon);

  private:
    int classify(std::uint32_t entry) const;
    bool isEar(std::uint32_t entry) const;
    void removeEntry(std::uint32_t entry);
    std::size_t cellOf(float x, float y) const;
    void addToGrid(std::uint32_t entry);

    const std::int32_t reflexMark_ = -1;
    const std::int32_t convexMark_ = 1;
    const VMPointList* polygon_ = nullptr;
    std::uint64_t count_ = 0;
    // The working ring as a doubly linked list over ring entries; entry e holds vertex ring_[e].
    std::vector<std::uint32_t> ring_;
    std::vector<std::uint32_t> next_;
    std::vector<std::uint32_t> previous_;
    std::vector<std::int16_t> classification_;
    // Entries that were not convex when classified, by grid cell: only they can lie inside an
    // ear, and only those in the cells under its bounding box need testing. Entries that turn
    // convex or are removed stay listed and are skipped.
    std::vector<std::vector<std::uint32_t>> grid_;
    std::size_t gridSide_ = 1;
    // Entries of the ring not convex now: with none, every convex entry is an ear.
    std::size_t notConvex_ = 0;
    float minX_ = 0;
    float minY_ = 0;
    float cellWidth_ = 1;
    float cellHeight_ = 1;
    std::vector<std::uint32_t> result_;
};

}  // namespace VMTriangulator
