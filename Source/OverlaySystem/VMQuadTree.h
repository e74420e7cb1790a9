#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "Foundation/NSObject.h"
#include "VMGeometry.h"
#include "VMOverlay.h"

using VMAnnotationRef = std::shared_ptr<VMAnnotation>;
// Objects found by a query, each one once.
using VMAnnotationList = std::vector<VMAnnotationRef>;

// A node's own objects, each once, with the map point it was filed under (moving an object goes
// through VMQuadTree::updateAnnotation, so the point stays the object's). Kept contiguous for
// fast box queries; an identity index appears only in the rare crowded node.
class VMFiledAnnotations {
  public:
    struct Entry {
        VMAnnotationRef annotation;
        VMMapPoint point;
    };
    bool insert(const VMAnnotationRef& annotation, VMMapPoint point);
    bool erase(const VMAnnotationRef& annotation);
    bool contains(const VMAnnotationRef& annotation) const { return find(annotation) >= 0; }
    size_t size() const { return entries_.size(); }
    const std::vector<Entry>& entries() const { return entries_; }
    std::vector<Entry> takeAll();
    void reserve(size_t count) { entries_.reserve(count); }

  private:
    static constexpr size_t kIndexFrom = 16;
    std::ptrdiff_t find(const VMAnnotationRef& annotation) const;
    std::vector<Entry> entries_;
    std::unordered_map<const VMAnnotation*, size_t> index_;
};

// One cell of the tree: a leaf holds objects until it splits into four quarters.
class VMQuadTreeNode : public NSObject {
    struct Key {
        explicit Key() = default;
    };

  public:
    static std::shared_ptr<VMQuadTreeNode> create(VMMapRect boundingBox, uint64_t capacity,
                                                  VMMapSize minSize);
    VMQuadTreeNode(Key, VMMapRect box, uint64_t capacity, VMMapSize minSize)
        : boundingBox_(box), capacity_(capacity > 0 ? capacity : 1), minSize_(minSize) {}

    // The node's own objects, children's not included.
    std::vector<VMAnnotationRef> annotations() const;
    VMMapRect boundingBox() const { return boundingBox_; }
    uint64_t capacity() const { return capacity_; }
    VMMapSize minSize() const { return minSize_; }
    // Nil for a leaf.
    std::shared_ptr<VMQuadTreeNode> northWest() const { return children_[0]; }
    std::shared_ptr<VMQuadTreeNode> northEast() const { return children_[1]; }
    std::shared_ptr<VMQuadTreeNode> southWest() const { return children_[2]; }
    std::shared_ptr<VMQuadTreeNode> southEast() const { return children_[3]; }

    void addAnnotation(const VMAnnotationRef& annotation);
    void addAnnotationToChildNodes(const VMAnnotationRef& annotation);
    bool removeAnnotation(const VMAnnotationRef& annotation);
    bool removeAnnotation(const VMAnnotationRef& annotation, CLLocationCoordinate2D atOldPosition);
    bool containsAnnotation(const VMAnnotationRef& annotation) const;
    void addAnnotationsInBoundingBox(VMMapRect box, VMAnnotationList& toMutableArray) const;
    uint64_t count() const;
    void removeAllObjects();
    std::string description() const;

  private:
    friend class VMQuadTree;
    // An object on its way down a bulk add, with the quarter it goes to next.
    struct Filing {
        const VMAnnotationRef* annotation;
        VMMapPoint point;
        unsigned quarter;
    };
    struct Query;

    void add(const VMAnnotationRef& annotation, VMMapPoint point);
    void addToChildren(const VMAnnotationRef& annotation, VMMapPoint point);
    bool remove(const VMAnnotationRef& annotation, VMMapPoint point);
    VMQuadTreeNode* childContaining(VMMapPoint point) const;
    bool hasChildren() const { return children_[0] != nullptr; }
    bool splittable() const;
    void makeChildren();
    // Requires lock_.
    void fileOwn(const VMAnnotationRef& annotation, VMMapPoint point);
    void fileAll(Filing* items, Filing* scratch, size_t count);
    void routeAll(Filing* items, Filing* scratch, size_t count);
    bool holdsMoreThanCapacityWith(const Filing* items, size_t count) const;
    void collect(const Query& query, bool wholeCell, VMAnnotationList& found) const;

    // Read on every query step, so kept together at the front.
    std::array<std::shared_ptr<VMQuadTreeNode>, 4> children_;
    const VMMapRect boundingBox_;
    // The own set's size, readable without the lock so that empty inner cells cost none.
    std::atomic<size_t> held_{0};
    // Some own object lies outside the cell, so a box covering the cell may still miss it.
    bool strays_ = false;
    const uint64_t capacity_;
    const VMMapSize minSize_;
    mutable std::mutex lock_;
    VMFiledAnnotations annotations_;
};

// A thread-safe point quadtree of annotations over the map-point plane.
class VMQuadTree : public NSObject {
  public:
    // Over the whole world.
    static std::shared_ptr<VMQuadTree> create();
    static std::shared_ptr<VMQuadTree> create(VMMapRect boundingBox);

    VMMapRect boundingBox() const;
    std::shared_ptr<VMQuadTreeNode> rootNode() const;

    void addAnnotation(const VMAnnotationRef& annotation);
    void addAnnotations(const std::vector<VMAnnotationRef>& annotations);
    bool removeAnnotation(const VMAnnotationRef& annotation);
    // Moves an object whose coordinate changed from `fromOldPosition`.
    void updateAnnotation(const VMAnnotationRef& annotation,
                          CLLocationCoordinate2D fromOldPosition);
    bool containsAnnotation(const VMAnnotationRef& annotation) const;
    // The objects whose map point lies in the box (minimum edges in, maximum edges out).
    VMAnnotationList annotationsInBoundingBox(VMMapRect box) const;
    uint64_t count() const;
    // Back to an empty tree over the whole world, whatever the tree was made over.
    void removeAllObjects();
    std::string description() const;

    static constexpr uint64_t kNodeCapacity = 4;
    static constexpr VMMapSize kNodeMinSize{200, 200};
    static constexpr VMMapRect kWorld{{0, 0}, {268435456, 268435456}};

  private:
    explicit VMQuadTree(VMMapRect box);
    mutable std::mutex lock_;
    std::shared_ptr<VMQuadTreeNode> rootNode_;
};
