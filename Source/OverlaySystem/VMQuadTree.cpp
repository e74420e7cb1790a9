#include "VMQuadTree.h"

#include <sstream>
#include <utility>

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
    return std::shared_ptr<VMQuadTreeNode>(new VMQuadTreeNode(boundingBox, capacity, minSize));
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

void VMQuadTreeNode::add(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (hasChildren()) {
        addToChildren(annotation, point);
        return;
    }
    std::vector<VMFiledAnnotations::Entry> spilled;
    {
        std::lock_guard guard(lock_);
        annotations_.insert(annotation, point);
        const bool splittable = boundingBox_.size.width > 2 * minSize_.width &&
                                boundingBox_.size.height > 2 * minSize_.height;
        if (annotations_.size() <= capacity_ || !splittable) return;
        spilled = annotations_.takeAll();
    }
    for (const auto& entry : spilled) addToChildren(entry.annotation, entry.point);
}

void VMQuadTreeNode::addToChildren(const VMAnnotationRef& annotation, VMMapPoint point) {
    if (!hasChildren()) {
        const double x = boundingBox_.origin.x, y = boundingBox_.origin.y;
        const double w = boundingBox_.size.width / 2, h = boundingBox_.size.height / 2;
        const VMMapSize size{w, h};
        children_ = {
            create({{x, y}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
            create({{x + w, y}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
            create({{x, y + h}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize),
            create({{x + w, y + h}, size}, VMQuadTree::kNodeCapacity, VMQuadTree::kNodeMinSize)};
    }
    if (VMQuadTreeNode* child = childContaining(point)) {
        child->add(annotation, point);
        return;
    }
    // Outside this cell altogether: kept here so that it is still found.
    std::lock_guard guard(lock_);
    annotations_.insert(annotation, point);
}

VMQuadTreeNode* VMQuadTreeNode::childContaining(VMMapPoint point) const {
    if (!hasChildren()) return nullptr;
    for (const auto& child : children_) {
        if (mapRectContainsPoint(child->boundingBox_, point)) return child.get();
    }
    return nullptr;
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
    return annotations_.erase(annotation);
}

bool VMQuadTreeNode::containsAnnotation(const VMAnnotationRef& annotation) const {
    if (!annotation) return false;
    const VMMapPoint point = mapPointForCoordinate(annotation->coordinate());
    const VMQuadTreeNode* node = this;
    while (const VMQuadTreeNode* child = node->childContaining(point)) node = child;
    std::lock_guard guard(node->lock_);
    return node->annotations_.contains(annotation);
}

void VMQuadTreeNode::addAnnotationsInBoundingBox(VMMapRect box,
                                                 VMAnnotationList& toMutableArray) const {
    if (hasChildren()) {
        for (const auto& child : children_) {
            if (mapRectIntersectsRect(child->boundingBox_, box)) {
                child->addAnnotationsInBoundingBox(box, toMutableArray);
            }
        }
    }
    std::lock_guard guard(lock_);
    for (const auto& entry : annotations_.entries()) {
        if (mapRectContainsPoint(box, entry.point)) toMutableArray.push_back(entry.annotation);
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
    std::lock_guard guard(lock_);
    for (const auto& annotation : annotations) rootNode_->addAnnotation(annotation);
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
