#include "VMQuadTree.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <unordered_set>
#include <utility>

#include "CoreGraphics/CGGeometry.h"

namespace {

std::string describe(const VMAnnotationRef& annotation) {
    const CLLocationCoordinate2D c = annotation->coordinate();
    std::ostringstream text;
    text << "<" << c.latitude << ", " << c.longitude << ">";
    return text.str();
}

}  // namespace

// The tree's cells laid out flat, each cell's objects and its quarters' in one run of `refs`, so
// that a cell the box covers whole is handed over as one run, read in order. It is used only
// while the nodes' change count is the one it was made at, and dropped by the tree's own changes
// so that it keeps no removed object alive.
struct VMQuadTreeIndex {
    struct Cell {
        uint32_t quarters = 0;  // the first of four consecutive cells; 0 for a leaf
        uint32_t begin = 0;     // [begin, own): the quarters' objects; [own, end): its own
        uint32_t own = 0;
        uint32_t end = 0;
        bool strays = false;        // an own object lies outside the cell
        bool straysWithin = false;  // ... or one of a quarter's, at any depth
    };
    const VMQuadTreeNode* root = nullptr;
    uint64_t madeAt = 0;
    VMMapRect box;
    std::vector<Cell> cells;
    std::vector<VMMapPoint> points;
    std::vector<VMAnnotationRef> refs;
    // While filling from empty: the objects' second references, in the caller's order.
    std::vector<VMAnnotationRef> pending;
    bool spoilt = false;
};

std::ptrdiff_t VMFiledAnnotations::find(const VMAnnotationRef& annotation) const {
    if (!index_.empty()) {
        const auto at = index_.find(annotation.get());
        return at == index_.end() ? -1 : std::ptrdiff_t(at->second);
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].annotation == annotation) return std::ptrdiff_t(i);
    }
    return -1;
}

bool VMFiledAnnotations::insert(VMAnnotationRef annotation, VMMapPoint point) {
    if (contains(annotation)) return false;
    entries_.push_back({std::move(annotation), point});
    if (!index_.empty()) {
        index_.emplace(entries_.back().annotation.get(), entries_.size() - 1);
    } else if (entries_.size() > kIndexFrom) {
        for (size_t i = 0; i < entries_.size(); ++i)
            index_.emplace(entries_[i].annotation.get(), i);
    }
    return true;
}

bool VMFiledAnnotations::erase(const VMAnnotationRef& annotation) {
    const std::ptrdiff_t at = find(annotation);
    if (at < 0) return false;
    if (!index_.empty()) {
        index_.erase(annotation.get());
        if (size_t(at) != entries_.size() - 1)
            index_[entries_.back().annotation.get()] = size_t(at);
    }
    entries_[size_t(at)] = std::move(entries_.back());
    entries_.pop_back();
    return true;
}

std::vector<VMFiledAnnotations::Entry> VMFiledAnnotations::takeAll() {
    index_.clear();
    return std::exchange(entries_, {});
}

std::shared_ptr<VMQuadTreeNode> VMQuadTreeNode::create(VMMapRect boundingBox, uint64_t capacity,
                                                       VMMapSize minSize) {
    return std::make_shared<VMQuadTreeNode>(Key(), boundingBox, capacity, minSize,
                                            std::make_shared<std::atomic<uint64_t>>(0));
}

std::vector<VMAnnotationRef> VMQuadTreeNode::annotations() const {
    std::lock_guard guard(lock_);
    std::vector<VMAnnotationRef> copy;
    copy.reserve(annotations_.size());
    for (const auto& entry : annotations_.entries()) copy.push_back(entry.annotation);
    return copy;
}

void VMQuadTreeNode::addAnnotation(const VMAnnotationRef& annotation) {
    if (annotation) add(annotation, mapPointForCoordinate(annotation->coordinate()));
}

void VMQuadTreeNode::addAnnotationToChildNodes(const VMAnnotationRef& annotation) {
    if (annotation) addToChildren(annotation, mapPointForCoordinate(annotation->coordinate()));
}

bool VMQuadTreeNode::splittable() const {
    return boundingBox_.size.width > 2 * minSize_.width &&
           boundingBox_.size.height > 2 * minSize_.height;
}

bool VMQuadTreeNode::fileOwn(VMAnnotationRef annotation, VMMapPoint point) {
    if (!annotations_.insert(std::move(annotation), point)) return false;
    changed();
    held_.store(annotations_.size(), std::memory_order_relaxed);
    if (!mapRectContainsPoint(boundingBox_, point)) strays_ = true;
    return true;
}

void VMQuadTreeNode::add(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (hasChildren()) {
        addToChildren(annotation, point);
        return;
    }
    std::vector<VMFiledAnnotations::Entry> spilled;
    {
        std::lock_guard guard(lock_);
        fileOwn(annotation, point);
        if (annotations_.size() <= capacity_ || !splittable()) return;
        spilled = annotations_.takeAll();
        changed();
        held_.store(0, std::memory_order_relaxed);
        strays_ = false;
    }
    for (const auto& entry : spilled) addToChildren(entry.annotation, entry.point);
}

void VMQuadTreeNode::makeChildren() {
    if (hasChildren()) return;
    const double x = boundingBox_.origin.x, y = boundingBox_.origin.y;
    const double w = boundingBox_.size.width / 2, h = boundingBox_.size.height / 2;
    const VMMapSize size{w, h};
    const auto quarter = [&](double qx, double qy) {
        return std::make_shared<VMQuadTreeNode>(Key(), VMMapRect{{qx, qy}, size},
                                                VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize,
                                                changes_);
    };
    children_ = {quarter(x, y), quarter(x + w, y), quarter(x, y + h), quarter(x + w, y + h)};
    changed();
}

void VMQuadTreeNode::addToChildren(const VMAnnotationRef& annotation, VMMapPoint point) {
    makeChildren();
    if (VMQuadTreeNode* child = childContaining(point)) {
        child->add(annotation, point);
        return;
    }
    // Outside this cell altogether: kept here so that it is still found.
    std::lock_guard guard(lock_);
    fileOwn(annotation, point);
}

VMQuadTreeNode* VMQuadTreeNode::childContaining(VMMapPoint point) const {
    if (!hasChildren()) return nullptr;
    for (const auto& child : children_) {
        if (mapRectContainsPoint(child->boundingBox_, point)) return child.get();
    }
    return nullptr;
}

// Whether the leaf would split with these added: duplicates of an object count once, as they
// would when added one by one.
bool VMQuadTreeNode::holdsMoreThanCapacityWith(const Filing* items, size_t count) const {
    const size_t own = annotations_.size();
    if (own + count <= capacity_) return false;
    if (own > capacity_) return true;
    const auto& entries = annotations_.entries();
    if (capacity_ < 32) {
        std::array<const VMAnnotation*, 32> distinct;
        size_t n = 0;
        for (const auto& entry : entries) distinct[n++] = entry.annotation.get();
        for (size_t i = 0; i < count; ++i) {
            const VMAnnotation* a = items[i].annotation->get();
            if (std::find(distinct.begin(), distinct.begin() + n, a) != distinct.begin() + n)
                continue;
            distinct[n++] = a;
            if (n > capacity_) return true;
        }
        return false;
    }
    std::unordered_set<const VMAnnotation*> seen;
    for (const auto& entry : entries) seen.insert(entry.annotation.get());
    for (size_t i = 0; i < count; ++i) {
        if (seen.insert(items[i].annotation->get()).second && seen.size() > capacity_) return true;
    }
    return false;
}

// Files many objects at once. The cells end up as adding them one by one would leave them (a
// cell splits exactly when more than its capacity reach it), but every object is classified
// once per level and each leaf is filled in one go.
void VMQuadTreeNode::fileAll(Filing* items, Filing* scratch, size_t count, VMQuadTreeIndex* index,
                             uint32_t at) {
    if (count == 0) {
        if (index) {
            std::lock_guard guard(lock_);
            indexOwn(*index, at, uint32_t(index->refs.size()), 0);
        }
        return;
    }
    if (!hasChildren()) {
        std::vector<VMFiledAnnotations::Entry> spilled;
        {
            std::lock_guard guard(lock_);
            if (!splittable() || !holdsMoreThanCapacityWith(items, count)) {
                annotations_.reserve(annotations_.size() + count);
                changed();
                const uint32_t own = index ? uint32_t(index->refs.size()) : 0;
                fileItems(items, count, index);
                if (index) closeCell(*index, at, own, 0, own);
                return;
            }
            spilled = annotations_.takeAll();
            changed();
            held_.store(0, std::memory_order_relaxed);
            strays_ = false;
        }
        if (!spilled.empty()) {
            std::vector<Filing> all;
            all.reserve(spilled.size() + count);
            for (auto& entry : spilled) all.push_back({&entry.annotation, entry.point, 0, 0});
            all.insert(all.end(), items, items + count);
            std::vector<Filing> more(all.size());
            // Only a tree filled from empty lays out its index, and none of its cells spills.
            if (index) index->spoilt = true;
            routeAll(all.data(), more.data(), all.size(), nullptr, at);
            return;
        }
    }
    routeAll(items, scratch, count, index, at);
}

void VMQuadTreeNode::routeAll(Filing* items, Filing* scratch, size_t count, VMQuadTreeIndex* index,
                              uint32_t at) {
    makeChildren();
    uint32_t begin = 0, quarters = 0;
    if (index) {
        begin = uint32_t(index->refs.size());
        quarters = uint32_t(index->cells.size());
        index->cells.resize(index->cells.size() + 4);
    }
    const double x = boundingBox_.origin.x, y = boundingBox_.origin.y;
    const double w = boundingBox_.size.width / 2, h = boundingBox_.size.height / 2;
    // The quarters' edges exactly as their cells hold them; 4 is none (outside this cell).
    const double west = x, east = x + w, north = y, south = y + h;
    const double westEnd = west + w, eastEnd = east + w, northEnd = north + h, southEnd = south + h;
    std::array<size_t, 6> start{};
    for (size_t i = 0; i < count; ++i) {
        const VMMapPoint p = items[i].point;
        unsigned quarter = 4;
        const bool inWest = p.x >= west && p.x < westEnd, inEast = p.x >= east && p.x < eastEnd;
        if (p.y >= north && p.y < northEnd) {
            quarter = inWest ? 0 : inEast ? 1 : 4;
        }
        if (quarter == 4 && p.y >= south && p.y < southEnd) quarter = inWest ? 2 : inEast ? 3 : 4;
        items[i].quarter = quarter;
        ++start[quarter + 1];
    }
    for (size_t q = 1; q < start.size(); ++q) start[q] += start[q - 1];
    std::array<size_t, 5> next;
    std::copy(start.begin(), start.begin() + 5, next.begin());
    for (size_t i = 0; i < count; ++i) scratch[next[items[i].quarter]++] = items[i];
    for (unsigned q = 0; q < 4; ++q) {
        children_[q]->fileAll(scratch + start[q], items + start[q], start[q + 1] - start[q], index,
                              quarters + q);
    }
    std::lock_guard guard(lock_);
    const uint32_t own = index ? uint32_t(index->refs.size()) : 0;
    fileItems(scratch + start[4], start[5] - start[4], index);
    if (index) closeCell(*index, at, begin, quarters, own);
}

// The references were taken in the caller's order, which is mostly the order the objects were
// made in, and are moved from there: taken in spatial order each was a wait on memory.
void VMQuadTreeNode::fileItems(Filing* items, size_t count, VMQuadTreeIndex* index) {
    for (size_t i = 0; i < count; ++i) {
        if (fileOwn(std::move(*items[i].annotation), items[i].point) && index) {
            index->refs.push_back(std::move(index->pending[items[i].source]));
            index->points.push_back(items[i].point);
        }
    }
}

void VMQuadTreeNode::closeCell(VMQuadTreeIndex& index, uint32_t at, uint32_t begin,
                               uint32_t quarters, uint32_t own) const {
    VMQuadTreeIndex::Cell cell;
    cell.begin = begin;
    cell.quarters = quarters;
    if (quarters != 0) {
        for (uint32_t q = 0; q < 4; ++q)
            cell.straysWithin = cell.straysWithin || index.cells[quarters + q].straysWithin;
    }
    cell.own = own;
    cell.strays = strays_;
    cell.straysWithin = cell.straysWithin || cell.strays;
    cell.end = uint32_t(index.refs.size());
    index.cells[at] = cell;
}

void VMQuadTreeNode::indexOwn(VMQuadTreeIndex& index, uint32_t at, uint32_t begin,
                              uint32_t quarters) const {
    const uint32_t own = uint32_t(index.refs.size());
    for (const auto& entry : annotations_.entries()) {
        index.refs.push_back(entry.annotation);
        index.points.push_back(entry.point);
    }
    closeCell(index, at, begin, quarters, own);
}

bool VMQuadTreeNode::removeAnnotation(const VMAnnotationRef& annotation) {
    return annotation && remove(annotation, mapPointForCoordinate(annotation->coordinate()));
}

bool VMQuadTreeNode::removeAnnotation(const VMAnnotationRef& annotation,
                                      CLLocationCoordinate2D atOldPosition) {
    return annotation && remove(annotation, mapPointForCoordinate(atOldPosition));
}

bool VMQuadTreeNode::remove(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (VMQuadTreeNode* child = childContaining(point)) return child->remove(annotation, point);
    std::lock_guard guard(lock_);
    if (!annotations_.erase(annotation)) return false;
    changed();
    held_.store(annotations_.size(), std::memory_order_relaxed);
    return true;
}

bool VMQuadTreeNode::containsAnnotation(const VMAnnotationRef& annotation) const {
    if (!annotation) return false;
    const VMMapPoint point = mapPointForCoordinate(annotation->coordinate());
    const VMQuadTreeNode* node = this;
    while (const VMQuadTreeNode* child = node->childContaining(point)) node = child;
    std::lock_guard guard(node->lock_);
    return node->annotations_.contains(annotation);
}

namespace {

bool quadSpansMeet(double cellMin, double cellMax, double min, double max) {
    if (min == max) return cellMin <= min && min < cellMax;
    return std::max(cellMin, min) < std::min(cellMax, max);
}

}  // namespace

// The box's edges as the platform's rectangle rules read them (a negative size counts from the
// far edge); a null box holds nothing.
bool VMQuadTreeNode::queryFor(VMMapRect box, Query& query) {
    const CGRect r = CGRectMake(box.origin.x, box.origin.y, box.size.width, box.size.height);
    if (CGRectIsNull(r)) return false;
    query = {CGRectGetMinX(r), CGRectGetMinY(r), CGRectGetMaxX(r), CGRectGetMaxY(r)};
    return true;
}

void VMQuadTreeNode::addAnnotationsInBoundingBox(VMMapRect box,
                                                 VMAnnotationList& toMutableArray) const {
    Query query;
    if (!queryFor(box, query)) return;
    const auto add = [&](const VMAnnotationRef& annotation) {
        toMutableArray.push_back(annotation);
    };
    size_t visited = 0;
    collect(query, false, add, visited);
}

// A cell the box covers whole hands over all it holds without testing each point. Cells below
// the root always have a positive size, so their edges need no standardising.
template <class Sink>
void VMQuadTreeNode::collect(const Query& query, bool wholeCell, Sink& sink,
                             size_t& visited) const {
    ++visited;
    if (hasChildren()) {
        const double w = boundingBox_.size.width / 2, h = boundingBox_.size.height / 2;
        const double xs[2] = {boundingBox_.origin.x, boundingBox_.origin.x + w};
        const double ys[2] = {boundingBox_.origin.y, boundingBox_.origin.y + h};
        for (unsigned q = 0; q < 4; ++q) {
            const double x = xs[q & 1], y = ys[q >> 1];
            if (wholeCell) {
                children_[q]->collect(query, true, sink, visited);
            } else if (quadSpansMeet(x, x + w, query.minX, query.maxX) &&
                       quadSpansMeet(y, y + h, query.minY, query.maxY)) {
                const bool covered = query.minX <= x && x + w <= query.maxX && query.minY <= y &&
                                     y + h <= query.maxY;
                children_[q]->collect(query, covered, sink, visited);
            }
        }
    }
    if (held_.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard guard(lock_);
    const auto& entries = annotations_.entries();
    if (wholeCell && !strays_) {
        for (const auto& entry : entries) sink(entry.annotation);
        return;
    }
    for (const auto& entry : entries) {
        const VMMapPoint p = entry.point;
        if (p.x >= query.minX && p.x < query.maxX && p.y >= query.minY && p.y < query.maxY)
            sink(entry.annotation);
    }
}

uint64_t VMQuadTreeNode::count() const {
    uint64_t total;
    {
        std::lock_guard guard(lock_);
        total = annotations_.size();
    }
    if (hasChildren()) {
        for (const auto& child : children_) total += child->count();
    }
    return total;
}

void VMQuadTreeNode::removeAllObjects() {
    std::lock_guard guard(lock_);
    annotations_.takeAll();
    held_.store(0, std::memory_order_relaxed);
    strays_ = false;
    children_ = {};
    changed();
}

std::string VMQuadTreeNode::description() const {
    std::string own = "{(";
    {
        std::lock_guard guard(lock_);
        for (const auto& entry : annotations_.entries()) own += describe(entry.annotation) + ",";
    }
    own += ")}";
    const auto child = [](const std::shared_ptr<VMQuadTreeNode>& node) {
        return node ? node->description() : std::string("(null)");
    };
    return own + "\n northWest:[" + child(children_[0]) + "] \n northEast:[" + child(children_[1]) +
           "] \n southWest:[" + child(children_[2]) + "] \n southEast:[" + child(children_[3]) +
           "]";
}

void VMQuadTree::indexCell(Index& index, const VMQuadTreeNode& node, uint32_t at) {
    const uint32_t begin = uint32_t(index.refs.size());
    uint32_t quarters = 0;
    if (node.hasChildren()) {
        quarters = uint32_t(index.cells.size());
        index.cells.resize(index.cells.size() + 4);
        for (uint32_t q = 0; q < 4; ++q) indexCell(index, *node.children_[q], quarters + q);
    }
    std::lock_guard guard(node.lock_);
    node.indexOwn(index, at, begin, quarters);
}

void VMQuadTree::searchIndex(const Index& index, uint32_t at, VMMapRect box,
                             const VMQuadTreeNode::Query& query, bool wholeCell,
                             std::vector<const VMAnnotationRef*>& hits) {
    const Index::Cell& cell = index.cells[at];
    const auto run = [&](uint32_t from, uint32_t to) {
        for (uint32_t i = from; i < to; ++i) hits.push_back(&index.refs[i]);
    };
    if (wholeCell && !cell.straysWithin) {
        run(cell.begin, cell.end);
        return;
    }
    // A few points lie side by side: testing them all is cheaper than descending the quarters.
    constexpr uint32_t kScanUpTo = 128;
    if (cell.end - cell.begin <= kScanUpTo && !cell.straysWithin) {
        for (uint32_t i = cell.begin; i < cell.end; ++i) {
            const VMMapPoint p = index.points[i];
            if (p.x >= query.minX && p.x < query.maxX && p.y >= query.minY && p.y < query.maxY)
                hits.push_back(&index.refs[i]);
        }
        return;
    }
    if (cell.quarters != 0) {
        const double w = box.size.width / 2, h = box.size.height / 2;
        const double xs[2] = {box.origin.x, box.origin.x + w};
        const double ys[2] = {box.origin.y, box.origin.y + h};
        for (uint32_t q = 0; q < 4; ++q) {
            const double x = xs[q & 1], y = ys[q >> 1];
            const VMMapRect quarter{{x, y}, {w, h}};
            if (wholeCell) {
                searchIndex(index, cell.quarters + q, quarter, query, true, hits);
            } else if (quadSpansMeet(x, x + w, query.minX, query.maxX) &&
                       quadSpansMeet(y, y + h, query.minY, query.maxY)) {
                const bool covered = query.minX <= x && x + w <= query.maxX && query.minY <= y &&
                                     y + h <= query.maxY;
                searchIndex(index, cell.quarters + q, quarter, query, covered, hits);
            }
        }
    }
    if (wholeCell && !cell.strays) {
        run(cell.own, cell.end);
        return;
    }
    for (uint32_t i = cell.own; i < cell.end; ++i) {
        const VMMapPoint p = index.points[i];
        if (p.x >= query.minX && p.x < query.maxX && p.y >= query.minY && p.y < query.maxY)
            hits.push_back(&index.refs[i]);
    }
}

namespace {

// Where a reference's shared count lives, only to fetch it early: the standard libraries keep
// the object's address and then the count block's in a shared pointer. Were one to differ, the
// fetch would merely bring in the wrong line.
const void* referenceCountBlock(const VMAnnotationRef& ref) {
    static_assert(sizeof(VMAnnotationRef) == 2 * sizeof(void*));
    // Read as bytes, which any object's representation may be.
    const void* words[2];
    std::memcpy(static_cast<void*>(words), static_cast<const void*>(&ref), sizeof words);
    return words[1];
}

}  // namespace

const VMQuadTreeIndex* VMQuadTree::currentIndex() const {
    const uint64_t now = rootNode_->changes_->load(std::memory_order_relaxed);
    if (index_ && index_->root == rootNode_.get() && index_->madeAt == now) return index_.get();
    if (walkedAt_ != now || (index_ && index_->root != rootNode_.get())) {
        walkedAt_ = now;
        walked_ = 0;
        index_.reset();
    }
    // Made only once walking has cost about what making it does, so that a tree changed
    // between every few queries keeps walking its nodes.
    if (walked_ < std::max<size_t>(lastIndexSize_ / 4, 256)) return nullptr;
    auto index = std::make_unique<Index>();
    index->root = rootNode_.get();
    index->madeAt = now;
    index->box = rootNode_->boundingBox_;
    index->cells.resize(1);
    indexCell(*index, *rootNode_, 0);
    lastIndexSize_ = index->cells.size() + index->refs.size();
    index_ = std::move(index);
    return index_.get();
}

VMQuadTree::VMQuadTree(VMMapRect box)
    : rootNode_(VMQuadTreeNode::create(box, kNodeCapacity, kNodeMinSize)) {}

VMQuadTree::~VMQuadTree() = default;

std::shared_ptr<VMQuadTree> VMQuadTree::create() { return create(kWorld); }

std::shared_ptr<VMQuadTree> VMQuadTree::create(VMMapRect boundingBox) {
    return std::shared_ptr<VMQuadTree>(new VMQuadTree(boundingBox));
}

VMMapRect VMQuadTree::boundingBox() const {
    std::lock_guard guard(lock_);
    return rootNode_->boundingBox();
}

std::shared_ptr<VMQuadTreeNode> VMQuadTree::rootNode() const {
    std::lock_guard guard(lock_);
    return rootNode_;
}

void VMQuadTree::addAnnotation(const VMAnnotationRef& annotation) {
    std::lock_guard guard(lock_);
    index_.reset();
    rootNode_->addAnnotation(annotation);
}

void VMQuadTree::addAnnotations(const std::vector<VMAnnotationRef>& annotations) {
    // References taken here in the caller's order (see fileItems).
    std::vector<VMAnnotationRef> taken;
    taken.reserve(annotations.size());
    std::vector<VMQuadTreeNode::Filing> items;
    items.reserve(annotations.size());
    for (const auto& annotation : annotations) {
        if (!annotation) continue;
        taken.push_back(annotation);
        const uint32_t source = uint32_t(items.size());
        items.push_back(
            {&taken.back(), mapPointForCoordinate(annotation->coordinate()), 0, source});
    }
    std::vector<VMQuadTreeNode::Filing> scratch(items.size());
    std::lock_guard guard(lock_);
    index_.reset();
    // Filled from empty, the tree lays out its query index on the way at little cost.
    std::unique_ptr<Index> index;
    if (!rootNode_->hasChildren() && rootNode_->held_.load() == 0 && !items.empty() &&
        items.size() < UINT32_MAX) {
        index = std::make_unique<Index>();
        index->root = rootNode_.get();
        index->box = rootNode_->boundingBox_;
        index->cells.resize(1);
        index->pending = taken;
        index->refs.reserve(items.size());
        index->points.reserve(items.size());
    }
    rootNode_->fileAll(items.data(), scratch.data(), items.size(), index.get(), 0);
    if (index && index->spoilt) index.reset();
    if (index) {
        index->pending = {};
        index->madeAt = rootNode_->changes_->load(std::memory_order_relaxed);
        lastIndexSize_ = index->cells.size() + index->refs.size();
        index_ = std::move(index);
    }
}

bool VMQuadTree::removeAnnotation(const VMAnnotationRef& annotation) {
    std::lock_guard guard(lock_);
    index_.reset();
    return rootNode_->removeAnnotation(annotation);
}

void VMQuadTree::updateAnnotation(const VMAnnotationRef& annotation,
                                  CLLocationCoordinate2D fromOldPosition) {
    if (!annotation || !CLLocationCoordinate2DIsValid(fromOldPosition)) return;
    std::lock_guard guard(lock_);
    index_.reset();
    if (rootNode_->removeAnnotation(annotation, fromOldPosition)) {
        rootNode_->addAnnotation(annotation);
    }
}

bool VMQuadTree::containsAnnotation(const VMAnnotationRef& annotation) const {
    std::lock_guard guard(lock_);
    return rootNode_->containsAnnotation(annotation);
}

VMAnnotationList VMQuadTree::annotationsInBoundingBox(VMMapRect box) const {
    VMAnnotationList found;
    VMQuadTreeNode::Query query;
    if (!VMQuadTreeNode::queryFor(box, query)) return found;
    // Kept per thread: a fresh list for every tile query was a trip to the allocator and back.
    thread_local std::vector<const VMAnnotationRef*> hits;
    hits.clear();
    std::lock_guard guard(lock_);
    if (const Index* index = currentIndex()) {
        searchIndex(*index, 0, index->box, query, false, hits);
    } else {
        const auto gather = [&](const VMAnnotationRef& annotation) { hits.push_back(&annotation); };
        size_t visited = 0;
        rootNode_->collect(query, false, gather, visited);
        walked_ += visited + hits.size();
    }
    // Each object's count lies wherever the object was allocated: fetched one by one, every hit
    // was a wait on memory, so the counts are fetched well ahead of taking each reference.
    // Two stages: the filed reference first, then the count it leads to.
    constexpr size_t kAhead = 32;
    const size_t n = hits.size();
    found.resize(n);
    for (size_t i = 0; i < n; ++i) {
        if (i + 2 * kAhead < n) __builtin_prefetch(hits[i + 2 * kAhead]);
        if (i + kAhead < n) __builtin_prefetch(referenceCountBlock(*hits[i + kAhead]), 1);
        found[i] = *hits[i];
    }
    // A query over a large part of a large tree leaves no lasting list behind.
    if (hits.capacity() > (size_t(1) << 16)) hits = {};
    return found;
}

uint64_t VMQuadTree::count() const {
    std::lock_guard guard(lock_);
    return rootNode_->count();
}

void VMQuadTree::removeAllObjects() {
    std::lock_guard guard(lock_);
    index_.reset();
    rootNode_ = VMQuadTreeNode::create(kWorld, kNodeCapacity, kNodeMinSize);
}

std::string VMQuadTree::description() const {
    std::lock_guard guard(lock_);
    return "count:" + std::to_string(rootNode_->count()) + " \n " + rootNode_->description();
}
