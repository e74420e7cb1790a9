#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/NSCache.h"
#include "VMOverlayView.h"
#include "VMTileOverlay.h"
#include "VMTileOverlayViewRender.h"

// The tiles' entries by tile key.
using VMTileCache = NSCache<std::string, VMTileEntry>;

// Draws, in every engine frame, the tiles the engine shows for its data type 5, each from its
// own texture once the model has delivered it. Tiles not yet there are queued for the loader
// thread once and drawn when they arrive. Render (main) thread only, with the map's context
// current.
class VMTileOverlayView : public VMOverlayView {
  public:
    struct TileIndex {
        std::int64_t XIndex = 0;
        std::int64_t YIndex = 0;
        std::int64_t ZoomLevel = 0;
    };
    static constexpr MapDataType kTileDataType = 5;
    // What the engine's list can hold: 255 names of at most 20 digits with their two bytes.
    static constexpr std::size_t kShownTilesCapacity = 1 + 255 * (1 + 20 + 1);

    static std::shared_ptr<VMTileOverlayView> initWithTileOverlay(
        std::shared_ptr<VMTileOverlay> tileOverlay);
    // Stops and joins the loader, cancels the downloads it asked the model for (not those of
    // another view of the same model) and deletes every texture.
    ~VMTileOverlayView() override;

    void glRender() override;
    std::vector<std::string> getCurrentTiles() const;
    // The names of a shown-grid list (count, then per name its length, the name and a status
    // byte); a name longer than 20 or running past the bytes given ends the list there.
    static std::vector<std::string> parseShownTiles(std::span<const std::uint8_t> buffer);
    // Quadkey digits, most significant first: bit 0 is x, bit 1 is y. Nothing for a character
    // that is not a decimal digit.
    static std::optional<TileIndex> parseTile(std::string_view name);

    void glRenderTiles(const std::vector<std::string>& names);
    void glRenderTile(const std::string& name);
    // Draws the tile's square with the texture; nothing for texture 0.
    void drawIconWithTexture(GLuint texture, const TileIndex& tilePath);
    // South-west, south-east, north-east, north-west, in GL units.
    std::vector<CGPoint> glPointsForTile(std::int64_t x, std::int64_t y, std::int64_t z) const;
    static VMMapRect mapRectForTile(std::int64_t x, std::int64_t y, std::int64_t z);
    // Queues the tile unless it has an entry already.
    void loadTileWithTilePath(const VMTileOverlayPath& path, const std::string& key);
    // The tile's texture, made from what arrived at the first call after it did; 0 while
    // loading and for content that is not a usable picture (never retried while the entry lives).
    GLuint loadTextureID(const std::string& key);
    void createLoadTileThread();
    // Forgets every tile, so each is requested again; their textures go at once.
    void reloadData();

    std::string keyForTile(std::int64_t x, std::int64_t y, std::int64_t z) const;
    const std::shared_ptr<VMTileOverlay>& tileOverlay() const { return tileOverlay_; }
    double screenScale() const { return screenScale_; }
    const std::shared_ptr<VMTileCache>& imagesAndTexturesCache() const {
        return imagesAndTexturesCache_;
    }
    // The view draws from the given cache from now on, and hears of what it lets go of; the old
    // one is emptied, its entries' textures deleted. A null cache is refused.
    void setImagesAndTexturesCache(std::shared_ptr<VMTileCache> cache);
    std::size_t countLimit() const { return imagesAndTexturesCache_->countLimit(); }
    std::size_t cachedTileCount() const { return imagesAndTexturesCache_->count(); }
    // Null until the first frame that shows tiles.
    const std::shared_ptr<VMTileLoadQueue>& tileOverlayLoadDics() const {
        return tileOverlayLoadDics_;
    }
    // Queued and not yet taken by the loader.
    std::size_t tileOverlayLoadDicsCount() const;
    // The texture of a tile's entry, if it has one yet.
    std::optional<GLuint> textureForKey(const std::string& key) const;

  protected:
    VMTileOverlayView() = default;

  private:
    // Hears of the entries the cache lets go of; owned by the view, so that it still hears while
    // the view goes.
    class CacheDelegate : public NSCacheDelegate<std::string, VMTileEntry> {
      public:
        explicit CacheDelegate(VMTileOverlayView& view) : view_(view) {}
        void cacheWillEvictObject(VMTileCache&,
                                  const std::shared_ptr<VMTileEntry>& entry) override {
            view_.willEvictObject(*entry);
        }

      private:
        VMTileOverlayView& view_;
    };

    void willEvictObject(const VMTileEntry& entry);
    // Empties the cache and stops hearing from it.
    void letGoOfCache();
    void deleteRetiredTextures();

    std::shared_ptr<VMTileOverlay> tileOverlay_;
    double screenScale_ = 1;
    const std::shared_ptr<CacheDelegate> cacheDelegate_ = std::make_shared<CacheDelegate>(*this);
    std::shared_ptr<VMTileCache> imagesAndTexturesCache_;
    std::vector<GLuint> retiredTextures_;
    std::weak_ptr<EAGLContext> textureContext_;
    std::shared_ptr<VMTileLoadQueue> tileOverlayLoadDics_;
    std::shared_ptr<VMTileOverlayViewRender> tileOverlayViewRender_;
};
