#include <atomic>
#include <mutex>

#include "Deadline.h"
#include "Foundation/Dispatch.h"
#include "OverlayGLFixture.h"
#include "UIKit/UIDevice.h"
#include "VMTileOverlayView.h"

using testsupport::runUntil;

namespace {

// A map showing a list of grids chosen by the test, whose whole world (2^28 map points) spans
// the 64 x 64 frame.
class ShownGridsMap : public FlatMap {
  public:
    ShownGridsMap() { state.mapUnitsPerGLX = state.mapUnitsPerGLY = 1 << 22; }
    VMMapPoint overlayMapPointForPoint(CGPoint p) override {
        return {p.x * (1 << 22), p.y * (1 << 22)};
    }
    int overlayShownGrids(MapDataType type, std::uint8_t* buffer, std::int32_t capacity) override {
        if (type != 5) return 0;
        const auto n = std::min<std::size_t>(shown.size(), std::size_t(capacity));
        std::copy_n(shown.begin(), n, buffer);
        return n > 0 ? shown[0] : 0;
    }
    void show(const std::vector<std::string>& names) {
        shown = {std::uint8_t(names.size())};
        for (const auto& name : names) {
            shown.push_back(std::uint8_t(name.size()));
            shown.insert(shown.end(), name.begin(), name.end());
            shown.push_back(1);
        }
    }
    std::vector<std::uint8_t> shown;
};

// Answers each tile at once with raw RGBA of a colour made from its path, or with the bytes the
// test chose; counts the calls.
class RawTileModel : public VMTileOverlay {
  public:
    static std::shared_ptr<RawTileModel> create() {
        return std::shared_ptr<RawTileModel>(new RawTileModel());
    }
    static std::array<int, 3> colourOf(std::int64_t x, std::int64_t y) {
        return {int(40 + 60 * x), int(40 + 60 * y), 200};
    }
    void loadTileAtPath(const VMTileOverlayPath& path, ResultBlock result) override {
        NSData bytes;
        {
            std::lock_guard guard(mutex);
            ++calls;
            bytes = answer;
        }
        if (bytes.empty()) {
            const auto c = colourOf(path.x, path.y);
            for (int i = 0; i < 16 * 16; ++i) {
                bytes.insert(bytes.end(),
                             {std::uint8_t(c[0]), std::uint8_t(c[1]), std::uint8_t(c[2]), 255});
            }
        }
        result(std::move(bytes), std::nullopt);
        ++answered;
    }
    int totalCalls() {
        std::lock_guard guard(mutex);
        return calls;
    }

    std::mutex mutex;
    int calls = 0;
    NSData answer;
    std::atomic<int> answered{0};

  private:
    RawTileModel() = default;
};

class TileOverlayViewTest : public OverlayGLTest {
  protected:
    void SetUp() override {
        OverlayGLTest::SetUp();
        if (IsSkipped()) return;
        orient(true);
        view = VMTileOverlayView::initWithTileOverlay(model);
        view->setMapView(map);
    }
    void TearDown() override {
        view.reset();
        UIDevice::currentDevice()->reset();
        OverlayGLTest::TearDown();
    }
    void frameWith(const std::vector<std::string>& names) {
        map->show(names);
        clearToWhite();
        view->glRender();
    }
    // Waits until the loader has handed every queued tile over and their results arrived.
    bool delivered(int calls) {
        if (!runUntil([&] { return model->answered == calls; })) return false;
        // The results reach their entries on the main queue, first in first out.
        const auto passed = std::make_shared<std::atomic<bool>>(false);
        DispatchQueue::main()->async([passed] { *passed = true; });
        return runUntil([&] { return passed->load(); }) && model->totalCalls() == calls &&
               view->tileOverlayLoadDicsCount() == 0;
    }
    // The pixel at map-frame point (x, y), y down.
    std::array<int, 4> at(int x, int y) { return pixel(x, kSize - 1 - y); }
    static bool isColour(std::array<int, 4> p, std::array<int, 3> c) { return near(p, c, 2); }

    std::shared_ptr<ShownGridsMap> map = std::make_shared<ShownGridsMap>();
    std::shared_ptr<RawTileModel> model = RawTileModel::create();
    std::shared_ptr<VMTileOverlayView> view;
};

TEST(TileOverlayViewNames, QuadkeysAndShownListsParseSafely) {
    const auto t = VMTileOverlayView::parseTile("213");
    ASSERT_TRUE(t);
    EXPECT_EQ(t->XIndex, 3);
    EXPECT_EQ(t->YIndex, 5);
    EXPECT_EQ(t->ZoomLevel, 3);
    const auto empty = VMTileOverlayView::parseTile("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->ZoomLevel, 0);
    EXPECT_FALSE(VMTileOverlayView::parseTile("2a"));

    using Bytes = std::vector<std::uint8_t>;
    struct Case {
        Bytes bytes;
        std::vector<std::string> names;
    };
    const std::string longName(21, '1');
    Bytes tooLong = {2, 21};
    tooLong.insert(tooLong.end(), longName.begin(), longName.end());
    tooLong.push_back(1);
    const Case cases[] = {
        {{2, 1, '0', 1, 2, '1', '2', 0}, {"0", "12"}},
        {{3, 1, '0', 1, 2, '1', '2'}, {"0"}},  // the second runs past the bytes given
        {{2, 1, '3', 1, 0, 1}, {"3"}},         // a name of no digits ends the list
        {tooLong, {}},
        {{5, 1, '1', 0}, {"1"}},  // a count larger than the entries there
        {{}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(VMTileOverlayView::parseShownTiles(c.bytes), c.names);
    }
}

TEST_F(TileOverlayViewTest, ZoomLimitsAndUnusableBytesDrawNothing) {
    model->setMaximumZ(0);
    frameWith({"0", "1"});
    EXPECT_EQ(view->tileOverlayLoadDicsCount(), 0u);
    EXPECT_EQ(view->cachedTileCount(), 0u);
    model->setMaximumZ(20);
    model->setMinimumZ(2);
    frameWith({"0", "1"});
    EXPECT_EQ(view->cachedTileCount(), 0u);

    // A page of text with status 200 is no tile: no texture, never asked again.
    model->setMinimumZ(0);
    const std::string page = "<html><body>Sign in</body></html>";
    model->answer.assign(page.begin(), page.end());
    frameWith({"0"});
    ASSERT_TRUE(delivered(1));
    frameWith({"0"});
    frameWith({"0"});
    EXPECT_EQ(view->textureForKey(view->keyForTile(0, 0, 1)), std::optional<GLuint>(0));
    EXPECT_EQ(frame(), std::vector<std::uint8_t>(kSize * kSize * 4, 255));
    EXPECT_EQ(model->totalCalls(), 1);
    // 65536 bytes are a 128 x 128 square.
    model->answer.clear();
    for (int i = 0; i < 128 * 128; ++i) model->answer.insert(model->answer.end(), {0, 0, 255, 255});
    frameWith({"1"});
    ASSERT_TRUE(delivered(2));
    frameWith({"1"});
    EXPECT_TRUE(isColour(at(48, 16), {0, 0, 255}));

    // A list mixing levels puts each tile on its own square: "30" is the south-east quarter's
    // north-west sixteenth.
    model->answer.clear();
    frameWith({"30"});
    ASSERT_TRUE(delivered(3));
    frameWith({"30"});
    EXPECT_TRUE(isColour(at(40, 40), RawTileModel::colourOf(2, 2)));
    EXPECT_TRUE(isWhite(56, kSize - 1 - 56));
    EXPECT_TRUE(isWhite(16, kSize - 1 - 16));
}

TEST_F(TileOverlayViewTest, CacheQueueAndLoaderByName) {
    EXPECT_EQ(view->tileOverlayLoadDics(), nullptr);
    frameWith({"0"});
    ASSERT_NE(view->tileOverlayLoadDics(), nullptr);
    ASSERT_TRUE(delivered(1));
    frameWith({"0"});
    const std::string key = view->keyForTile(0, 0, 1);
    const GLuint first = view->textureForKey(key).value_or(0);
    ASSERT_TRUE(glIsTexture(first));
    // The tile's texture drawn by hand on another square, and texture 0 drawing nothing.
    clearToWhite();
    view->drawIconWithTexture(first, {1, 0, 1});
    view->drawIconWithTexture(0, {0, 0, 1});
    EXPECT_TRUE(isColour(at(48, 16), RawTileModel::colourOf(0, 0)));
    EXPECT_TRUE(isWhite(16, kSize - 1 - 16));

    // A new cache empties the old one, its textures with it; the tile is asked for again.
    const auto old = view->imagesAndTexturesCache();
    const auto mine = VMTileCache::create();
    view->setImagesAndTexturesCache(mine);
    view->setImagesAndTexturesCache(nullptr);
    EXPECT_EQ(view->imagesAndTexturesCache(), mine);
    EXPECT_EQ(old->count(), 0u);
    EXPECT_FALSE(glIsTexture(first));
    frameWith({"0"});
    ASSERT_TRUE(delivered(2));
    frameWith({"0"});
    const GLuint second = view->textureForKey(key).value_or(0);
    ASSERT_TRUE(glIsTexture(second));
    EXPECT_EQ(mine->count(), 1u);
    view->reloadData();
    EXPECT_EQ(mine->count(), 0u);
    EXPECT_FALSE(glIsTexture(second));

    const auto render = VMTileOverlayViewRender::create(std::make_shared<VMTileLoadQueue>(), model);
    EXPECT_EQ(render->tileOverlayView(), nullptr);
    render->setTileOverlayView(view);
    EXPECT_EQ(render->tileOverlayView(), view);
}

TEST_F(TileOverlayViewTest, TexturesGoWithEveryEntryThatLeaves) {
    // 104 tiles of zoom 7 against a phone's limit of 100: the four seen least recently go.
    ASSERT_EQ(view->countLimit(), 100u);
    std::vector<std::string> names;
    for (int i = 0; i < 104; ++i) {
        std::string name;
        for (int bit = 6; bit >= 0; --bit) name += char('0' + ((i >> bit) & 1));
        names.push_back(name);
    }
    const std::vector<std::string> first(names.begin(), names.begin() + 100);
    frameWith(first);
    ASSERT_TRUE(delivered(100));
    frameWith(first);
    std::vector<GLuint> textures;
    for (const auto& name : first) {
        const auto t = VMTileOverlayView::parseTile(name);
        textures.push_back(
            view->textureForKey(view->keyForTile(t->XIndex, t->YIndex, 7)).value_or(0));
        ASSERT_NE(textures.back(), 0u);
        ASSERT_TRUE(glIsTexture(textures.back()));
    }
    const std::vector<std::string> rest(names.begin() + 100, names.end());
    frameWith(rest);
    EXPECT_EQ(view->cachedTileCount(), 100u);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(glIsTexture(textures[i])) << i;
    for (int i = 4; i < 100; ++i) EXPECT_TRUE(glIsTexture(textures[i])) << i;

    // The rest go with the view.
    ASSERT_TRUE(delivered(104));
    view.reset();
    for (int i = 4; i < 100; ++i) EXPECT_FALSE(glIsTexture(textures[i])) << i;
}

}  // namespace
