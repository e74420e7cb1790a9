#include <httplib.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>

#include "Deadline.h"
#include "MapKitTestSupport.h"
#include "MapKitTileServer.h"
#include "MapViewFixture.h"
#include "ScreenPixels.h"
#include "TileEndpoints.h"
#include "VMGroundOverlayView.h"
#include "VMHeatMapTileOverlay.h"
#include "VMImageDownloader.h"
#include "VMTileOverlayView.h"

namespace {

constexpr double kZoom = 14;
const CLLocationCoordinate2D kCentre{39.908, 116.397};

// Answers the one drawable it holds for its overlay.
struct GroundViewMaker : VMMapViewDelegate {
    VMOverlayViewRef drawable;
    VMOverlayViewRef mapViewViewForOverlay(VMMapView&, const VMOverlayRef& overlay) override {
        return drawable && drawable->overlay() == overlay ? drawable : nullptr;
    }
};

class TileOverlayFrameTest : public MapViewFixture {
  protected:
    void SetUp() override {
        std::string error;
        server = testsupport::startTileServer(home.path() / "devserver.sqlite", &error);
        ASSERT_NE(server, nullptr) << error;
        openView();
        if (!view) return;
        view->setCenterCoordinate(kCentre);
        view->zoomToLevel(kZoom);
        show();
    }
    void TearDown() override {
        MapViewFixture::TearDown();
        server.reset();
    }
    std::string templateURL() const {
        return "http://127.0.0.1:" + std::to_string(server->port()) +
               "/tiles/{z}/{x}/{y}.png?scale={scale}";
    }
    // Tiles the server holds back until the test releases the gate.
    std::string heldTemplateURL(const std::string& gate) const {
        return "http://127.0.0.1:" + std::to_string(server->port()) + "/tiles/held/" + gate +
               "/{z}/{x}/{y}.png?scale={scale}";
    }
    void release(const std::string& gate) {
        httplib::Client client("127.0.0.1", server->port());
        ASSERT_TRUE(client.Post(("/tiles/release/" + gate).c_str(), "", "text/plain"));
    }
    std::vector<std::string> tileLog() { return testsupport::tileLog(*server); }
    CGColor screenColour(CGPoint at) {
        return testsupport::screenPixel(view->baseMapView()->layer()->contents(), at.x, at.y);
    }
    // A point a quarter into each shown tile that lies on screen, away from its border and label.
    std::vector<std::pair<CGPoint, devserver::TileColour>> samplePoints(
        const std::vector<std::string>& names) {
        std::vector<std::pair<CGPoint, devserver::TileColour>> points;
        const CGRect b = view->bounds();
        for (const auto& name : names) {
            const auto t = VMTileOverlayView::parseTile(name);
            const VMMapRect r =
                VMTileOverlayView::mapRectForTile(t->XIndex, t->YIndex, t->ZoomLevel);
            for (const double f : {0.25, 0.75}) {
                const CGPoint p = view->pointForMapPoint(
                    {r.origin.x + f * r.size.width, r.origin.y + f * r.size.height});
                if (p.x < 4 || p.y < 4 || p.x > b.size.width - 4 || p.y > b.size.height - 4)
                    continue;
                points.push_back({p, devserver::tileColour(t->XIndex, t->YIndex, t->ZoomLevel)});
            }
        }
        return points;
    }
    static bool isTileColour(CGColor c, devserver::TileColour want) {
        return std::abs(c.r * 255 - want.r) < 3 && std::abs(c.g * 255 - want.g) < 3 &&
               std::abs(c.b * 255 - want.b) < 3;
    }
    static GLuint textureOf(VMTileOverlayView& tiles, const std::string& name) {
        const auto t = VMTileOverlayView::parseTile(name);
        return tiles.textureForKey(tiles.keyForTile(t->XIndex, t->YIndex, t->ZoomLevel))
            .value_or(0);
    }
    // Frames until every tile shown within the overlay's bounds, or only the one at `p`, has
    // its texture.
    bool allTilesShown(const std::shared_ptr<VMTileOverlayView>& tiles,
                       std::optional<VMMapPoint> p = std::nullopt) {
        return testsupport::runUntil([&] {
            frames(1);
            const auto names = tiles->getCurrentTiles();
            if (names.empty()) return false;
            for (const auto& name : names) {
                const auto t = VMTileOverlayView::parseTile(name);
                const VMMapRect r =
                    VMTileOverlayView::mapRectForTile(t->XIndex, t->YIndex, t->ZoomLevel);
                const bool wanted =
                    p ? mapRectContainsPoint(r, *p)
                      : mapRectIntersectsRect(r, tiles->tileOverlay()->boundingMapRect());
                if (wanted && !textureOf(*tiles, name)) return false;
            }
            return true;
        });
    }

    std::unique_ptr<devserver::DevServer> server;
};

TEST_F(TileOverlayFrameTest, DevserverTilesShowUnderTheirScreenPoints) {
    const auto overlay = VMTileOverlay::createWithURLTemplate(templateURL());
    auto tiles = VMTileOverlayView::initWithTileOverlay(overlay);
    view->overlayContainer()->insertOverlay(overlay, tiles, 0, 1);
    frames(1);
    // Frame 1 queues the shown tiles and draws none of them. The loader is the first thread of
    // its name: the threads the downloads start on it inherit the name.
    const auto loaders = testsupport::threadsNamed("NetworkLoad");
    ASSERT_FALSE(loaders.empty());
    const auto names = tiles->getCurrentTiles();
    ASSERT_FALSE(names.empty());
    const std::size_t queued = tiles->cachedTileCount();
    EXPECT_GE(queued, names.size());
    const auto points = samplePoints(names);
    ASSERT_GE(points.size(), 4u);
    for (const auto& [p, colour] : points) EXPECT_FALSE(isTileColour(screenColour(p), colour));
    ASSERT_TRUE(allTilesShown(tiles));
    frames(3);
    for (const auto& [p, colour] : points) {
        EXPECT_TRUE(isTileColour(screenColour(p), colour)) << p.x << "," << p.y;
    }
    // One request per tile shown, however many frames were drawn.
    const auto requested = tileLog();
    EXPECT_EQ(requested.size(), tiles->cachedTileCount());
    EXPECT_EQ(std::set<std::string>(requested.begin(), requested.end()).size(), requested.size());
    EXPECT_NE(requested.front().find("?scale=2.000000"), std::string::npos);

    // Reloading asks again; the old textures are gone once the next frame is drawn.
    std::vector<GLuint> old;
    for (const auto& name : names) old.push_back(textureOf(*tiles, name));
    tiles->reloadData();
    ASSERT_TRUE(allTilesShown(tiles));
    EXPECT_EQ(tileLog().size(), requested.size() + tiles->cachedTileCount());
    for (const GLuint texture : old) EXPECT_FALSE(glIsTexture(texture)) << texture;

    // Freeing the view ends its loader.
    view->overlayContainer()->removeOverlay(overlay);
    tiles.reset();
    const auto left = testsupport::threadsNamed("NetworkLoad");
    EXPECT_EQ(std::find(left.begin(), left.end(), loaders.front()), left.end());

    // A maximum zoom below the map's requests and draws nothing.
    const std::size_t asked = tileLog().size();
    const auto shallow = VMTileOverlay::createWithURLTemplate(templateURL());
    shallow->setMaximumZ(std::int64_t(kZoom) - 3);
    tiles = VMTileOverlayView::initWithTileOverlay(shallow);
    view->overlayContainer()->insertOverlay(shallow, tiles, 0, 1);
    frames(5);
    ASSERT_FALSE(tiles->getCurrentTiles().empty());
    EXPECT_EQ(tiles->cachedTileCount(), 0u);
    EXPECT_EQ(tileLog().size(), asked);
    for (const auto& [p, colour] : points) EXPECT_FALSE(isTileColour(screenColour(p), colour));
}

// Two maps show one tile overlay, and the first is closed while the tiles of both are still on
// their way (the server holds them until it has gone): the second map gets all of its tiles.
TEST_F(TileOverlayFrameTest, ClosingOneMapLeavesTheTilesOfAnotherShowingTheSameOverlay) {
    const auto overlay = VMTileOverlay::createWithURLTemplate(heldTemplateURL("closing"));
    auto firstTiles = VMTileOverlayView::initWithTileOverlay(overlay);
    view->overlayContainer()->insertOverlay(overlay, firstTiles, 0, 1);
    auto second = makeMapView();
    ASSERT_NE(second, nullptr);
    second->setCenterCoordinate({kCentre.latitude - 0.01, kCentre.longitude + 0.01});
    second->zoomToLevel(kZoom);
    show(*second);
    auto secondTiles = VMTileOverlayView::initWithTileOverlay(overlay);
    second->overlayContainer()->insertOverlay(overlay, secondTiles, 0, 1);
    frames(2);
    ASSERT_GT(firstTiles->cachedTileCount(), 0u);
    const std::size_t wanted = secondTiles->cachedTileCount();
    ASSERT_GT(wanted, 8u);
    // The downloads that run at once wait at the server; the rest wait in the downloader.
    ASSERT_TRUE(testsupport::waitUntil([&] {
        return tileLog().size() == std::size_t(VMImageDownloader::kMaxConcurrentDownloads);
    }));

    view->overlayContainer()->removeOverlay(overlay);
    firstTiles.reset();
    view.reset();
    release("closing");
    ASSERT_TRUE(allTilesShown(secondTiles));
    EXPECT_EQ(secondTiles->cachedTileCount(), wanted);
    second.reset();
}

// Tiles over the upper part of the screen, a ground image over the lower part and a heat map
// over both, in one frame. With BRISFOLD_SCREENSHOT_DIR set the frame is written there as
// overlay-frame.png (the picture in docs/).
TEST_F(TileOverlayFrameTest, TilesHeatMapAndGroundImageInOneFrame) {
    const VMMapRect visible = view->visibleMapRect();
    const auto across = [&](double fx, double fy) {
        return VMMapPoint{visible.origin.x + fx * visible.size.width,
                          visible.origin.y + fy * visible.size.height};
    };
    const auto tileOverlay = VMTileOverlay::createWithURLTemplate(templateURL());
    tileOverlay->setBoundingMapRect(
        {across(0, 0), {visible.size.width, visible.size.height * 0.3}});
    auto tiles = VMTileOverlayView::initWithTileOverlay(tileOverlay);

    static constexpr std::uint8_t kColours[4][3] = {
        {230, 60, 60}, {60, 170, 80}, {60, 90, 220}, {240, 200, 40}};
    const auto rgba = testsupport::quarteredRGBA(64, kColours);
    const auto picture =
        UIImage::imageWithCGImage(CGImage::createWithRGBA(rgba.data(), 64, 64, 256));
    const VMMapPoint groundSW = across(0.15, 0.95), groundNE = across(0.85, 0.6);
    const auto ground = VMGroundOverlay::groundOverlayWithBounds(
        {coordinateForMapPoint(groundNE), coordinateForMapPoint(groundSW)}, picture);
    auto groundView = VMGroundOverlayView::initWithGroundOverlay(ground);

    // A dense cluster (sixty nodes on one point) in the middle, and a ring of single ones.
    const VMMapPoint cluster = across(0.5, 0.45);
    auto nodes = std::make_shared<std::vector<std::shared_ptr<VMHeatMapNode>>>();
    for (int i = 0; i < 60; ++i)
        nodes->push_back(VMHeatMapNode::create(coordinateForMapPoint(cluster), 1));
    for (int i = 0; i < 24; ++i) {
        const double a = 2 * M_PI * i / 24;
        const VMMapPoint p{cluster.x + 0.3 * visible.size.width * std::cos(a),
                           cluster.y + 0.3 * visible.size.width * std::sin(a)};
        nodes->push_back(VMHeatMapNode::create(coordinateForMapPoint(p), 1));
    }
    const auto heat = VMHeatMapTileOverlay::create();
    heat->setData(nodes);
    auto heatView = VMTileOverlayView::initWithTileOverlay(heat);

    // The ground image comes as applications add it; the class decides its level.
    const auto maker = std::make_shared<GroundViewMaker>();
    maker->drawable = groundView;
    view->setDelegate(maker);
    view->addOverlay(ground);
    ASSERT_EQ(view->overlaysInLevel(0), std::vector<VMOverlayRef>{ground});
    auto& container = *view->overlayContainer();
    container.insertOverlay(tileOverlay, tiles, 0, 1);
    container.insertOverlay(heat, heatView, 1, 1);
    ASSERT_TRUE(allTilesShown(tiles));
    ASSERT_TRUE(allTilesShown(heatView, cluster));
    // The rest of the heat map, for the picture.
    ASSERT_TRUE(testsupport::runUntil([&] {
        frames(1);
        return heatView->tileOverlayLoadDicsCount() == 0;
    }));
    frames(3);

    // The cluster burns red; far from every node the tiles show as they are.
    const CGColor hot = screenColour(view->pointForMapPoint(cluster));
    EXPECT_GT(hot.r, hot.g + 0.3);
    EXPECT_GT(hot.r, hot.b + 0.3);
    const VMMapPoint far = across(0.02, 0.1);
    const auto t = VMTileOverlayView::parseTile(tiles->getCurrentTiles().front());
    const double side = VMTileOverlayView::mapRectForTile(0, 0, t->ZoomLevel).size.width;
    EXPECT_TRUE(isTileColour(screenColour(view->pointForMapPoint(far)),
                             devserver::tileColour(std::int64_t(far.x / side),
                                                   std::int64_t(far.y / side), t->ZoomLevel)));
    // The ground image's quarters, away from the ring.
    const CGColor groundNW = screenColour(view->pointForMapPoint(across(0.22, 0.65)));
    EXPECT_TRUE(
        testsupport::colourNear(groundNW, CGColor{230 / 255.0, 60 / 255.0, 60 / 255.0, 1}, 0.02));
    const CGColor groundSE = screenColour(view->pointForMapPoint(across(0.78, 0.9)));
    EXPECT_TRUE(
        testsupport::colourNear(groundSE, CGColor{240 / 255.0, 200 / 255.0, 40 / 255.0, 1}, 0.02));

    if (const char* dir = std::getenv("BRISFOLD_SCREENSHOT_DIR")) {
        EXPECT_TRUE(view->baseMapView()->layer()->contents()->writePNG(std::string(dir) +
                                                                       "/overlay-frame.png"));
    }
}

}  // namespace
