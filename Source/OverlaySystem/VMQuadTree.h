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

struct VMQuadTreeIndex;
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
    bool insert(VMAnnotationRef annotation, VMMapPoint point);
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
    VMQuadTreeNode(Key, VMMapRect box, uint64_t capacity, VMMapSize minSize,
                   std::shared_ptr<std::atomic<uint64_t>> changes)
        : boundingBox_(box),
          capacity_(capacity > 0 ? capacity : 1),
          minSize_(minSize),
          changes_(std::move(changes)) {}

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
        VMAnnotationRef* annotation;  // moved from when filed
        VMMapPoint point;
        uint32_t quarter;
        uint32_t source;  // its place in the batch
    };
    struct Query {
        double minX, minY, maxX, maxY;
    };

    void add(const VMAnnotationRef& annotation, VMMapPoint point);
    void addToChildren(const VMAnnotationRef& annotation, VMMapPoint point);
    bool remove(const VMAnnotationRef& annotation, VMMapPoint point);
    VMQuadTreeNode* childContaining(VMMapPoint point) const;
    bool hasChildren() const { return children_[0] != nullptr; }
    bool splittable() const;
    void makeChildren();
    // Requires lock_.
    bool fileOwn(VMAnnotationRef annotation, VMMapPoint point);
    void fileItems(Filing* items, size_t count, VMQuadTreeIndex* index);
    void closeCell(VMQuadTreeIndex& index, uint32_t at, uint32_t begin, uint32_t quarters,
                   uint32_t own) const;
    // With `index`, a tree filled from empty lays out its cells as it goes, as cell `at`.
    void fileAll(Filing* items, Filing* scratch, size_t count, VMQuadTreeIndex* index, uint32_t at);
    void routeAll(Filing* items, Filing* scratch, size_t count, VMQuadTreeIndex* index,
                  uint32_t at);
    void indexOwn(VMQuadTreeIndex& index, uint32_t at, uint32_t begin, uint32_t quarters) const;
    bool holdsMoreThanCapacityWith(const Filing* items, size_t count) const;
    static bool queryFor(VMMapRect box, Query& query);
    // `visited` counts the cells looked into.
    template <class Sink>
    void collect(const Query& query, bool wholeCell, Sink& sink, size_t& visited) const;
    void changed() { changes_->fetch_add(1, std::memory_order_relaxed); }

    // Read on every query step, so kept together at the front.
    std::array<std::shared_ptr<VMQuadTreeNode>, 4> children_;
    // The own set's size, readable without the lock so that empty inner cells cost none.
    std::atomic<size_t> held_{0};
    // Some own object lies outside the cell, so a box covering the cell may still miss it.
    bool strays_ = false;
    mutable std::mutex lock_;
    VMFiledAnnotations annotations_;
    const VMMapRect boundingBox_;
    const uint64_t capacity_;
    const VMMapSize minSize_;
    // Shared by every node of one tree and bumped by any change to any of them, so that a
    // tree's query index knows when it no longer holds.
    const std::shared_ptr<std::atomic<uint64_t>> changes_;
};

// A thread-safe point quadtree of annotations over the map-point plane.
class VMQuadTree : public NSObject {
  public:
    // Over the whole world.
    static std::shared_ptr<VMQuadTree> create();
    static std::shared_ptr<VMQuadTree> create(VMMapRect boundingBox);
    ~VMQuadTree() override;

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
    using Index = VMQuadTreeIndex;
    explicit VMQuadTree(VMMapRect box);
    const Index* currentIndex() const;
    static void indexCell(Index& index, const VMQuadTreeNode& node, uint32_t at);
    static void searchIndex(const Index& index, uint32_t at, VMMapRect cell,
                            const VMQuadTreeNode::Query& query, bool wholeCell,
                            std::vector<const VMAnnotationRef*>& hits);
    mutable std::mutex lock_;
    std::shared_ptr<VMQuadTreeNode> rootNode_;
    // A flat copy of the cells for queries, laid out while a batch fills an empty tree, or made
    // once queries have walked the nodes about as much as making it takes; any change to the
    // nodes retires it.
    mutable std::unique_ptr<Index> index_;
    mutable uint64_t walkedAt_ = 0;
    mutable size_t walked_ = 0;
    mutable size_t lastIndexSize_ = 0;
};
