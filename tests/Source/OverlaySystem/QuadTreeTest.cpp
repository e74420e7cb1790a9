#include <gtest/gtest.h>

#include <random>
#include <set>
#include <thread>

#include "VMHeatMapNode.h"
#include "VMQuadTree.h"

namespace {

// A node placed at a map point (the inverse projection lands on the same whole point).
std::shared_ptr<VMHeatMapNode> nodeAt(double x, double y) {
    return VMHeatMapNode::create(coordinateForMapPoint({x, y}), 1);
}

VMMapPoint pointOf(const VMAnnotationRef& a) { return mapPointForCoordinate(a->coordinate()); }

using AnnotationSet = std::set<VMAnnotationRef>;

AnnotationSet found(const VMQuadTree& tree, VMMapRect box) {
    const VMAnnotationList list = tree.annotationsInBoundingBox(box);
    const AnnotationSet set(list.begin(), list.end());
    EXPECT_EQ(set.size(), list.size()) << "an object found twice";
    return set;
}

const VMMapPoint kCellOrigin{100000000, 100000000};

std::vector<VMAnnotationRef> fiveIn(double side) {
    std::vector<VMAnnotationRef> nodes;
    for (int i = 0; i < 5; ++i) {
        nodes.push_back(nodeAt(kCellOrigin.x + 10 + i * (side - 20) / 4,
                               kCellOrigin.y + 10 + i * (side - 20) / 4));
    }
    return nodes;
}

}  // namespace

TEST(QuadTree, LeavesSplitOnlyWhenLargeEnough) {
    struct Case {
        double side;
        bool splits;
    };
    for (const Case c : {Case{1000, true}, Case{300, false}}) {
        const auto tree = VMQuadTree::create({kCellOrigin, {c.side, c.side}});
        for (const auto& node : fiveIn(c.side)) tree->addAnnotation(node);
        EXPECT_EQ(tree->count(), 5u) << c.side;
        EXPECT_EQ(tree->rootNode()->northWest() != nullptr, c.splits) << c.side;
        EXPECT_EQ(tree->rootNode()->annotations().size(), c.splits ? 0u : 5u) << c.side;
    }

    // Five at one point split until the cells are too small; every one is still counted.
    const auto tree = VMQuadTree::create();
    for (int i = 0; i < 5; ++i) tree->addAnnotation(nodeAt(5000000, 7000000));
    EXPECT_EQ(tree->count(), 5u);
    auto node = tree->rootNode();
    int depth = 0;
    while (node->northWest()) {
        for (const auto& child :
             {node->northWest(), node->northEast(), node->southWest(), node->southEast()}) {
            if (child->count() > 0) node = child;
        }
        ++depth;
    }
    EXPECT_LE(node->boundingBox().size.width, 400);
    EXPECT_EQ(node->annotations().size(), 5u);
    EXPECT_GT(depth, 15);

    // A crowded cell still finds each of its objects, whether added one by one or all at once.
    for (const bool atOnce : {false, true}) {
        const auto crowded = VMQuadTree::create();
        std::vector<VMAnnotationRef> same;
        for (int i = 0; i < 40; ++i) same.push_back(nodeAt(5000000, 7000000));
        if (atOnce) crowded->addAnnotations(same);
        for (const auto& a : same) {
            if (!atOnce) crowded->addAnnotation(a);
            crowded->addAnnotation(a);  // already held: not held twice
        }
        EXPECT_EQ(crowded->count(), 40u) << atOnce;
        for (const auto& a : same) EXPECT_TRUE(crowded->removeAnnotation(a)) << atOnce;
        EXPECT_EQ(crowded->count(), 0u) << atOnce;
    }
}

TEST(QuadTree, ObjectsOutsideTheRootAreKeptAndFound) {
    const auto tree = VMQuadTree::create({kCellOrigin, {1000, 1000}});
    for (const auto& node : fiveIn(1000)) tree->addAnnotation(node);
    const auto outside = nodeAt(kCellOrigin.x + 5000, kCellOrigin.y + 5000);
    tree->addAnnotation(outside);
    EXPECT_TRUE(tree->containsAnnotation(outside));
    EXPECT_EQ(tree->rootNode()->annotations().size(), 1u);
    const VMMapPoint p = pointOf(outside);
    EXPECT_TRUE(found(*tree, {{p.x - 1, p.y - 1}, {2, 2}}).contains(outside));
    EXPECT_TRUE(tree->removeAnnotation(outside));
    EXPECT_FALSE(tree->removeAnnotation(outside));
    EXPECT_EQ(tree->count(), 5u);
}

TEST(QuadTree, BoxesIncludeTheirMinimumEdgesOnly) {
    const auto tree = VMQuadTree::create();
    const auto node = nodeAt(1000, 2000);
    tree->addAnnotation(node);
    EXPECT_TRUE(found(*tree, {{1000, 2000}, {10, 10}}).contains(node));
    EXPECT_TRUE(found(*tree, {{990, 1990}, {10, 10}}).empty());
    EXPECT_TRUE(found(*tree, {{990, 1990}, {10, 11}}).empty());
}

TEST(QuadTree, MovingGoesThroughTheOldPosition) {
    const auto tree = VMQuadTree::create();
    std::vector<std::shared_ptr<VMHeatMapNode>> nodes;
    for (int i = 0; i < 50; ++i) {
        nodes.push_back(nodeAt(1000000 + i * 1000, 1000000));
        tree->addAnnotation(nodes.back());
    }
    const auto moved = nodes[7];
    const CLLocationCoordinate2D old = moved->coordinate();
    moved->setCoordinate(coordinateForMapPoint({200000000, 200000000}));

    tree->updateAnnotation(moved, {91, 0});  // not a coordinate: nothing happens
    EXPECT_FALSE(tree->containsAnnotation(moved));
    tree->updateAnnotation(moved, old);
    EXPECT_TRUE(tree->containsAnnotation(moved));
    EXPECT_TRUE(found(*tree, {{199999000, 199999000}, {2000, 2000}}).contains(moved));
    EXPECT_EQ(tree->count(), 50u);

    // An object the tree never held is not added by an update.
    const auto stranger = nodeAt(5, 5);
    tree->updateAnnotation(stranger, stranger->coordinate());
    EXPECT_FALSE(tree->containsAnnotation(stranger));

    tree->removeAllObjects();
    EXPECT_EQ(tree->count(), 0u);
    EXPECT_EQ(tree->boundingBox(), VMQuadTree::kWorld);
}

TEST(QuadTree, QueriesAgreeWithAScanOfEveryPoint) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> world(0, 268435455);
    std::normal_distribution<double> cluster(134217728, 40000);
    const auto tree = VMQuadTree::create();
    std::vector<VMAnnotationRef> all;
    for (int i = 0; i < 4000; ++i) {
        const bool clustered = i % 2 == 0;
        all.push_back(clustered ? nodeAt(cluster(random), cluster(random))
                                : nodeAt(world(random), world(random)));
    }
    tree->addAnnotations(all);
    ASSERT_EQ(tree->count(), all.size());

    std::uniform_real_distribution<double> size(100, 200000);
    const auto agree = [&](const std::set<VMAnnotationRef>& held) {
        for (int q = 0; q < 300; ++q) {
            const bool nearCluster = q % 2 == 0;
            const VMMapRect box{{nearCluster ? cluster(random) : world(random),
                                 nearCluster ? cluster(random) : world(random)},
                                {size(random), size(random)}};
            AnnotationSet expected;
            for (const auto& a : held) {
                if (mapRectContainsPoint(box, pointOf(a))) expected.insert(a);
            }
            EXPECT_EQ(found(*tree, box), expected) << q;
        }
    };
    agree({all.begin(), all.end()});

    // Changed through a node rather than the tree, and after removals, the answers still hold.
    const auto direct = nodeAt(134217728, 134217728);
    tree->rootNode()->addAnnotation(direct);
    EXPECT_TRUE(found(*tree, {{134217728, 134217728}, {1, 1}}).contains(direct));
    std::set<VMAnnotationRef> kept{direct};
    for (size_t i = 0; i < all.size(); ++i) {
        if (i % 3 == 0)
            EXPECT_TRUE(tree->removeAnnotation(all[i]));
        else
            kept.insert(all[i]);
    }
    EXPECT_EQ(tree->count(), kept.size());
    agree(kept);
}

TEST(QuadTree, SeveralThreadsAddRemoveAndQueryAtOnce) {
    const auto tree = VMQuadTree::create();
    constexpr int kPerThread = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([tree, t] {
            std::vector<VMAnnotationRef> mine;
            for (int i = 0; i < kPerThread; ++i) {
                mine.push_back(nodeAt(1000000 + t * 100000 + i * 50, 2000000 + i * 50));
                tree->addAnnotation(mine.back());
                if (i % 10 == 0)
                    tree->annotationsInBoundingBox({{1000000, 2000000}, {500000, 30000}});
            }
            for (int i = 0; i < kPerThread; i += 2) tree->removeAnnotation(mine[i]);
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(tree->count(), 4u * kPerThread / 2);
    EXPECT_EQ(tree->annotationsInBoundingBox(VMQuadTree::kWorld).size(), 4u * kPerThread / 2);
}
