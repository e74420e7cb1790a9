#include "VMQuadTree.h"

#include <sstream>

namespace {

std::string describe(const VMAnnotationRef& annotation) {
    const CLLocationCoordinate2D c = annotation->coordinate();
    std::ostringstream text;
    text << "<" << c.latitude << ", " << c.longitude << ">";
    return text.str();
}

}  // namespace

std::shared_ptr<VMQuadTreeNode> VMQuadTreeNode::create(VMMapRect boundingBox, uint64_t capacity,
                                                       VMMapSize minSize) {
    return std::shared_ptr<VMQuadTreeNode>(new VMQuadTreeNode(boundingBox, capacity, minSize));
}

std::vector<VMAnnotationRef> VMQuadTreeNode::annotations() const {
    std::lock_guard guard(lock_);
    std::vector<VMAnnotationRef> copy;
    copy.reserve(annotations_.size());
    for (const auto& [annotation, point] : annotations_) copy.push_back(annotation);
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
    std::unordered_map<VMAnnotationRef, VMMapPoint> spilled;
    {
        std::lock_guard guard(lock_);
        annotations_.emplace(annotation, point);
        const bool splittable = boundingBox_.size.width > 2 * minSize_.width &&
                                boundingBox_.size.height > 2 * minSize_.height;
        if (annotations_.size() <= capacity_ || !splittable) return;
        spilled.swap(annotations_);
    }
    for (const auto& [held, heldPoint] : spilled) addToChildren(held, heldPoint);
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
    annotations_.emplace(annotation, point);
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
    return annotations_.erase(annotation) > 0;
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
                                                 VMAnnotationSet& toMutableArray) const {
    if (hasChildren()) {
        for (const auto& child : children_) {
            if (mapRectIntersectsRect(child->boundingBox_, box)) {
                child->addAnnotationsInBoundingBox(box, toMutableArray);
            }
        }
    }
    std::lock_guard guard(lock_);
    for (const auto& [annotation, point] : annotations_) {
        if (mapRectContainsPoint(box, point)) toMutableArray.insert(annotation);
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
    annotations_.clear();
    children_ = {};
}

std::string VMQuadTreeNode::description() const {
    std::string own = "{(";
    {
        std::lock_guard guard(lock_);
        for (const auto& [annotation, point] : annotations_) own += describe(annotation) + ",";
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

VMAnnotationSet VMQuadTree::annotationsInBoundingBox(VMMapRect box) const {
    VMAnnotationSet found;
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
