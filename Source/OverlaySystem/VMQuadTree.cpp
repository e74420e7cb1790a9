#include "VMQuadTree.h"

#include <algorithm>
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

bool VMFiledAnnotations::insert(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (contains(annotation)) return false;
    entries_.push_back({annotation, point});
    if (!index_.empty()) {
        index_.emplace(annotation.get(), entries_.size() - 1);
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
    return std::make_shared<VMQuadTreeNode>(Key(), boundingBox, capacity, minSize);
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

void VMQuadTreeNode::fileOwn(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (!annotations_.insert(annotation, point)) return;
    held_.store(annotations_.size(), std::memory_order_relaxed);
    if (!mapRectContainsPoint(boundingBox_, point)) strays_ = true;
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
    children_ = {
        create({{x, y}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
        create({{x + w, y}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
        create({{x, y + h}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
        create({{x + w, y + h}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize)};
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
    std::vector<const VMAnnotation*> distinct;
    for (const auto& entry : annotations_.entries()) distinct.push_back(entry.annotation.get());
    std::unordered_set<const VMAnnotation*> seen;
    const bool hashed = capacity_ > 32;
    if (hashed) seen.insert(distinct.begin(), distinct.end());
    for (size_t i = 0; i < count; ++i) {
        const VMAnnotation* a = items[i].annotation->get();
        const bool fresh = hashed
                               ? seen.insert(a).second
                               : std::find(distinct.begin(), distinct.end(), a) == distinct.end();
        if (!fresh) continue;
        if (!hashed) distinct.push_back(a);
        if ((hashed ? seen.size() : distinct.size()) > capacity_) return true;
    }
    return false;
}

// Files many objects at once. The cells end up as adding them one by one would leave them (a
// cell splits exactly when more than its capacity reach it), but every object is classified
// once per level and each leaf is filled in one go.
void VMQuadTreeNode::fileAll(Filing* items, Filing* scratch, size_t count) {
    if (count == 0) return;
    if (!hasChildren()) {
        std::vector<VMFiledAnnotations::Entry> spilled;
        {
            std::lock_guard guard(lock_);
            if (!splittable() || !holdsMoreThanCapacityWith(items, count)) {
                annotations_.reserve(annotations_.size() + count);
                for (size_t i = 0; i < count; ++i) fileOwn(*items[i].annotation, items[i].point);
                return;
            }
            spilled = annotations_.takeAll();
            held_.store(0, std::memory_order_relaxed);
            strays_ = false;
        }
        if (!spilled.empty()) {
            std::vector<Filing> all;
            all.reserve(spilled.size() + count);
            for (const auto& entry : spilled) all.push_back({&entry.annotation, entry.point, 0});
            all.insert(all.end(), items, items + count);
            std::vector<Filing> more(all.size());
            routeAll(all.data(), more.data(), all.size());
            return;
        }
    }
    routeAll(items, scratch, count);
}

void VMQuadTreeNode::routeAll(Filing* items, Filing* scratch, size_t count) {
    makeChildren();
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
        children_[q]->fileAll(scratch + start[q], items + start[q], start[q + 1] - start[q]);
    }
    if (start[5] == start[4]) return;
    std::lock_guard guard(lock_);
    for (size_t i = start[4]; i < start[5]; ++i) fileOwn(*scratch[i].annotation, scratch[i].point);
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

// The box's edges as the platform's rectangle rules read them (a negative size counts from the
// far edge).
struct VMQuadTreeNode::Query {
    double minX, minY, maxX, maxY;

    static bool spansMeet(double cellMin, double cellMax, double min, double max) {
        if (min == max) return cellMin <= min && min < cellMax;
        return std::max(cellMin, min) < std::min(cellMax, max);
    }
    // Cells below the root always have a positive size.
    bool meets(double x, double y, double w, double h) const {
        return spansMeet(x, x + w, minX, maxX) && spansMeet(y, y + h, minY, maxY);
    }
    bool covers(double x, double y, double w, double h) const {
        return minX <= x && x + w <= maxX && minY <= y && y + h <= maxY;
    }
    bool holds(VMMapPoint p) const {
        return p.x >= minX && p.x < maxX && p.y >= minY && p.y < maxY;
    }
};

void VMQuadTreeNode::addAnnotationsInBoundingBox(VMMapRect box,
                                                 VMAnnotationList& toMutableArray) const {
    const CGRect r = CGRectMake(box.origin.x, box.origin.y, box.size.width, box.size.height);
    // A null box holds nothing.
    if (CGRectIsNull(r)) return;
    collect({CGRectGetMinX(r), CGRectGetMinY(r), CGRectGetMaxX(r), CGRectGetMaxY(r)}, false,
            toMutableArray);
}

// A cell the box covers whole hands over all it holds without testing each point.
void VMQuadTreeNode::collect(const Query& query, bool wholeCell, VMAnnotationList& found) const {
    if (hasChildren()) {
        const double w = boundingBox_.size.width / 2, h = boundingBox_.size.height / 2;
        const double xs[2] = {boundingBox_.origin.x, boundingBox_.origin.x + w};
        const double ys[2] = {boundingBox_.origin.y, boundingBox_.origin.y + h};
        for (unsigned q = 0; q < 4; ++q) {
            const double x = xs[q & 1], y = ys[q >> 1];
            if (wholeCell) {
                children_[q]->collect(query, true, found);
            } else if (query.meets(x, y, w, h)) {
                children_[q]->collect(query, query.covers(x, y, w, h), found);
            }
        }
    }
    if (held_.load(std::memory_order_relaxed) == 0) return;
    std::lock_guard guard(lock_);
    const auto& entries = annotations_.entries();
    if (wholeCell && !strays_) {
        for (const auto& entry : entries) found.push_back(entry.annotation);
        return;
    }
    for (const auto& entry : entries) {
        if (query.holds(entry.point)) found.push_back(entry.annotation);
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

VMQuadTree::VMQuadTree(VMMapRect box)
    : rootNode_(VMQuadTreeNode::create(box, kNodeCapacity, kNodeMinSize)) {}

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
    rootNode_->addAnnotation(annotation);
}

void VMQuadTree::addAnnotations(const std::vector<VMAnnotationRef>& annotations) {
    std::vector<VMQuadTreeNode::Filing> items;
    items.reserve(annotations.size());
    for (const auto& annotation : annotations) {
        if (annotation)
            items.push_back({&annotation, mapPointForCoordinate(annotation->coordinate()), 0});
    }
    std::vector<VMQuadTreeNode::Filing> scratch(items.size());
    std::lock_guard guard(lock_);
    rootNode_->fileAll(items.data(), scratch.data(), items.size());
}

bool VMQuadTree::removeAnnotation(const VMAnnotationRef& annotation) {
    std::lock_guard guard(lock_);
    return rootNode_->removeAnnotation(annotation);
}

void VMQuadTree::updateAnnotation(const VMAnnotationRef& annotation,
                                  CLLocationCoordinate2D fromOldPosition) {
    if (!annotation || !CLLocationCoordinate2DIsValid(fromOldPosition)) return;
    std::lock_guard guard(lock_);
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
    std::lock_guard guard(lock_);
    rootNode_->addAnnotationsInBoundingBox(box, found);
    return found;
}

uint64_t VMQuadTree::count() const {
    std::lock_guard guard(lock_);
    return rootNode_->count();
}

void VMQuadTree::removeAllObjects() {
    std::lock_guard guard(lock_);
    rootNode_ = VMQuadTreeNode::create(kWorld, kNodeCapacity, kNodeMinSize);
}

std::string VMQuadTree::description() const {
    std::lock_guard guard(lock_);
    return "count:" + std::to_string(rootNode_->count()) + " \n " + rootNode_->description();
}
