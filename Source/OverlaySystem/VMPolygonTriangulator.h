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
    // A ring entry that is not convex, with its point, where the ear test reads it.
    struct Blocker {
        float x;
        float y;
        std::uint32_t entry;
    };

    int classify(std::uint32_t entry) const;
    bool isEar(std::uint32_t entry);
    bool scanCells(std::uint32_t entry, std::size_t row, std::size_t firstColumn,
                   std::size_t lastColumn, const float box[4]);
    // Answers the candidate that followed the entry, or none when it was no candidate.
    std::uint32_t removeEntry(std::uint32_t entry);
    void reclassify(std::uint32_t entry, std::uint32_t removed, bool beforeRemoved);
    std::size_t columnOf(double x) const;
    std::size_t rowOf(double y) const;
    void addToGrid(std::uint32_t entry);
    void removeFromGrid(std::uint32_t entry);
    void linkCandidateBefore(std::uint32_t entry, std::uint32_t before);
    void unlinkCandidate(std::uint32_t entry);

    const std::int32_t reflexMark_ = -1;
    const std::int32_t convexMark_ = 1;
    const VMPointList* polygon_ = nullptr;
    std::uint64_t count_ = 0;
    // The working ring as a doubly linked list over ring entries; entry e holds vertex ring_[e].
    std::vector<std::uint32_t> ring_;
    std::vector<std::uint32_t> next_;
    std::vector<std::uint32_t> previous_;
    std::vector<std::int16_t> classification_;
    // The entries that are not reflex, in ring order, as a doubly linked list closed by the
    // extra entry count_: the search for an ear visits only these, so long reflex stretches cost
    // nothing however often they are passed.
    std::vector<std::uint32_t> nextCandidate_;
    std::vector<std::uint32_t> previousCandidate_;
    // Entries that are not convex by grid cell: only they can lie inside an ear. An entry leaves
    // its cell as soon as it turns convex or is cut, so no cell holds dead entries.
    std::vector<std::vector<Blocker>> grid_;
    std::vector<std::uint32_t> cellOfEntry_;
    std::vector<std::uint32_t> slotOfEntry_;
    // One bit per cell, row by row, set while the cell holds an entry.
    std::vector<std::uint64_t> occupied_;
    std::size_t wordsPerRow_ = 1;
    std::size_t gridColumns_ = 1;
    std::size_t gridRows_ = 1;
    std::size_t notConvex_ = 0;
    double minX_ = 0;
    double minY_ = 0;
    double cellWidth_ = 1;
    double cellHeight_ = 1;
    double perCellWidth_ = 1;
    double perCellHeight_ = 1;
    // The entry last found inside an entry's triangle, and that triangle's other corners: while
    // both still hold, the entry is still no ear and needs no new search.
    std::vector<std::uint32_t> blockedBy_;
    std::vector<std::uint32_t> blockedPrevious_;
    std::vector<std::uint32_t> blockedNext_;
    std::vector<std::uint32_t> result_;
};

}  // namespace VMTriangulator
