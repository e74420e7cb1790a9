#include "VMTileOverlayView.h"

#include <cmath>
#include <cstdio>

#include "GLESUtility.h"
#include "OpenGLES/EAGLContext.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIScreen.h"

namespace {

constexpr std::size_t kMaxTileNameLength = 20;
constexpr double kWorldMapPoints = 268435456.0;  // 2^28
constexpr double kTilePixels = 256;

}  // namespace

std::shared_ptr<VMTileOverlayView> VMTileOverlayView::initWithTileOverlay(
    std::shared_ptr<VMTileOverlay> tileOverlay) {
    auto view =
        finishCreate(std::shared_ptr<VMTileOverlayView>(new VMTileOverlayView()), CGRectZero);
    view->setOverlay(tileOverlay);
    view->tileOverlay_ = std::move(tileOverlay);
    auto cache = VMTileCache::create();
    cache->setCountLimit(
        UIDevice::currentDevice()->userInterfaceIdiom() != UIUserInterfaceIdiomPhone ? 200 : 100);
    view->setImagesAndTexturesCache(std::move(cache));
    view->screenScale_ = UIScreen::mainScreen()->scale();
    return view;
}

VMTileOverlayView::~VMTileOverlayView() {
    // Cancels this view's downloads only: another map may show the same model.
    if (tileOverlayViewRender_) tileOverlayViewRender_->setTileOverlayView({});
    tileOverlayViewRender_.reset();
    letGoOfCache();
    deleteRetiredTextures();
}

void VMTileOverlayView::setImagesAndTexturesCache(std::shared_ptr<VMTileCache> cache) {
    if (!cache || cache == imagesAndTexturesCache_) return;
    letGoOfCache();
    imagesAndTexturesCache_ = std::move(cache);
    imagesAndTexturesCache_->setDelegate(cacheDelegate_);
}

void VMTileOverlayView::letGoOfCache() {
    if (!imagesAndTexturesCache_) return;
    imagesAndTexturesCache_->removeAllObjects();
    imagesAndTexturesCache_->setDelegate({});
}

void VMTileOverlayView::glRender() { glRenderTiles(getCurrentTiles()); }

std::vector<std::string> VMTileOverlayView::getCurrentTiles() const {
    const auto r = render();
    if (!r) return {};
    std::vector<std::uint8_t> buffer(kShownTilesCapacity, 0);
    r->overlayShownGrids(kTileDataType, buffer.data(), std::int32_t(buffer.size()));
    return parseShownTiles(buffer);
}

std::vector<std::string> VMTileOverlayView::parseShownTiles(std::span<const std::uint8_t> buffer) {
    std::vector<std::string> names;
    if (buffer.empty()) return names;
    const std::size_t count = buffer[0];
    std::size_t at = 1;
    for (std::size_t i = 0; i < count; ++i) {
        if (at >= buffer.size()) break;
        const std::size_t length = buffer[at];
        if (length < 1 || length > kMaxTileNameLength || at + 1 + length + 1 > buffer.size()) {
            break;
        }
        names.emplace_back(reinterpret_cast<const char*>(buffer.data() + at + 1), length);
        at += 1 + length + 1;
    }
    return names;
}

std::optional<VMTileOverlayView::TileIndex> VMTileOverlayView::parseTile(std::string_view name) {
    TileIndex index;
    index.ZoomLevel = std::int64_t(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        const std::int64_t weight = std::int64_t{1} << (name.size() - 1 - i);
        if (digit % 2 == 1) index.XIndex += weight;
        if (digit >= 2) index.YIndex += weight;
    }
    return index;
}

void VMTileOverlayView::glRenderTiles(const std::vector<std::string>& names) {
    deleteRetiredTextures();
    if (!tileOverlay_ || names.empty()) return;
    createLoadTileThread();
    for (const std::string& name : names) glRenderTile(name);
}

// Each tile is placed at its own zoom, so a list that mixes levels still lands every tile on
// its own square.
void VMTileOverlayView::glRenderTile(const std::string& name) {
    if (name.size() > kMaxTileNameLength) return;
    const auto index = parseTile(name);
    if (!index) return;
    const auto [x, y, z] = *index;
    if (!mapRectIntersectsRect(mapRectForTile(x, y, z), tileOverlay_->boundingMapRect())) return;
    const std::string key = keyForTile(x, y, z);
    GLuint texture = 0;
    if (tileOverlay_->minimumZ() <= z && z <= tileOverlay_->maximumZ()) {
        loadTileWithTilePath({x, y, z, screenScale_}, key);
        texture = loadTextureID(key);
    }
    drawIconWithTexture(texture, *index);
}

void VMTileOverlayView::drawIconWithTexture(GLuint texture, const TileIndex& tilePath) {
    if (texture == 0) return;
    const std::vector<CGPoint> corners =
        glPointsForTile(tilePath.XIndex, tilePath.YIndex, tilePath.ZoomLevel);
    renderIconWithTextureID(texture, corners.data());
}

VMMapRect VMTileOverlayView::mapRectForTile(std::int64_t x, std::int64_t y, std::int64_t z) {
    const double side = kWorldMapPoints / std::ldexp(1.0, int(z));
    return {{double(x) * side, double(y) * side}, {side, side}};
}

std::vector<CGPoint> VMTileOverlayView::glPointsForTile(std::int64_t x, std::int64_t y,
                                                        std::int64_t z) const {
    const VMMapRect r = mapRectForTile(x, y, z);
    const double minX = r.origin.x, minY = r.origin.y;
    const double maxX = minX + r.size.width, maxY = minY + r.size.height;
    const VMMapPoint corners[] = {{minX, maxY}, {maxX, maxY}, {maxX, minY}, {minX, minY}};
    return glPointsForMapPoints(corners);
}

std::string VMTileOverlayView::keyForTile(std::int64_t x, std::int64_t y, std::int64_t z) const {
    char key[128];
    std::snprintf(key, sizeof key, "KeyAtTilePath%ld,%ld,%ld,%f", long(x), long(y), long(z),
                  screenScale_);
    return key;
}

void VMTileOverlayView::loadTileWithTilePath(const VMTileOverlayPath& path,
                                             const std::string& key) {
    if (imagesAndTexturesCache_->objectForKey(key)) return;
    auto entry = std::make_shared<VMTileEntry>();
    imagesAndTexturesCache_->setObjectForKey(entry, key);
    tileOverlayLoadDics_->append({entry, path});
}

GLuint VMTileOverlayView::loadTextureID(const std::string& key) {
    const auto entry = imagesAndTexturesCache_->objectForKey(key);
    if (!entry) return 0;
    if (entry->textureID) return *entry->textureID;
    if (!entry->arrived()) return 0;
    GLuint texture = 0;
    const auto utility = GLESUtility::sharedUtility();
    textureContext_ = EAGLContext::currentContext();
    if (entry->image) {
        utility->loadTextureImage(entry->image, &texture, false);
    } else {
        // Raw bytes are a square of RGBA pixels, or nothing usable (an error page, say).
        const std::size_t length = entry->rawData->size();
        const auto side = std::size_t(std::sqrt(double(length / 4)));
        if (side > 0 && side * side * 4 == length) {
            utility->loadTextureBuffer(entry->rawData->data(), CGSizeMake(side, side), &texture,
                                       false);
        }
    }
    entry->image = nullptr;
    entry->rawData.reset();
    entry->textureID = texture;
    return texture;
}

void VMTileOverlayView::createLoadTileThread() {
    if (tileOverlayLoadDics_) return;
    tileOverlayLoadDics_ = std::make_shared<VMTileLoadQueue>();
    tileOverlayViewRender_ = VMTileOverlayViewRender::create(tileOverlayLoadDics_, tileOverlay_);
    tileOverlayViewRender_->setTileOverlayView(weakSelf<VMTileOverlayView>());
}

void VMTileOverlayView::reloadData() { imagesAndTexturesCache_->removeAllObjects(); }

std::size_t VMTileOverlayView::tileOverlayLoadDicsCount() const {
    return tileOverlayLoadDics_ ? tileOverlayLoadDics_->count() : 0;
}

std::optional<GLuint> VMTileOverlayView::textureForKey(const std::string& key) const {
    const auto entry = imagesAndTexturesCache_->objectForKey(key);
    if (!entry) return std::nullopt;
    return entry->textureID;
}

void VMTileOverlayView::willEvictObject(const VMTileEntry& entry) {
    if (entry.textureID && *entry.textureID != 0) retiredTextures_.push_back(*entry.textureID);
    deleteRetiredTextures();
}

// Textures belong to the context of the map that draws the view.
void VMTileOverlayView::deleteRetiredTextures() {
    GLESUtility::deleteTextures(textureContext_, retiredTextures_);
}
