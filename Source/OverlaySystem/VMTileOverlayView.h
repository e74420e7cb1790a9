#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "VMOverlayView.h"
#include "VMTileOverlay.h"
#include "VMTileOverlayViewRender.h"

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
    // South-west, south-east, north-east, north-west, in GL units.
    std::vector<CGPoint> glPointsForTile(std::int64_t x, std::int64_t y, std::int64_t z) const;
    static VMMapRect mapRectForTile(std::int64_t x, std::int64_t y, std::int64_t z);
    // Queues the tile unless it has an entry already.
    void loadTileWithTilePath(const VMTileOverlayPath& path, const std::string& key);
    // The tile's texture, made from what arrived at the first call after it did; 0 while
    // loading and for content that is not a usable picture (never retried while the entry lives).
    GLuint loadTextureID(const std::string& key);
    void createLoadTileThread();
    // Forgets every tile, so each is requested again; their textures go at the next frame.
    void reloadData();

    std::string keyForTile(std::int64_t x, std::int64_t y, std::int64_t z) const;
    const std::shared_ptr<VMTileOverlay>& tileOverlay() const { return tileOverlay_; }
    double screenScale() const { return screenScale_; }
    std::size_t countLimit() const { return countLimit_; }
    std::size_t cachedTileCount() const { return cache_.size(); }
    // Queued and not yet taken by the loader.
    std::size_t tileOverlayLoadDicsCount() const;
    // The texture of a tile's entry, if it has one yet.
    std::optional<GLuint> textureForKey(const std::string& key) const;

  protected:
    VMTileOverlayView() = default;

  private:
    struct CacheSlot {
        std::shared_ptr<VMTileEntry> entry;
        std::list<std::string>::iterator recent;
    };
    // Finds the entry and marks it most recently used.
    std::shared_ptr<VMTileEntry> entryForKey(const std::string& key);
    void insertEntry(const std::string& key, std::shared_ptr<VMTileEntry> entry);
    void willEvictObject(const VMTileEntry& entry);
    void deleteRetiredTextures();

    std::shared_ptr<VMTileOverlay> tileOverlay_;
    double screenScale_ = 1;
    std::size_t countLimit_ = 100;
    std::unordered_map<std::string, CacheSlot> cache_;
    std::list<std::string> recent_;  // most recent first
    std::vector<GLuint> retiredTextures_;
    std::weak_ptr<EAGLContext> textureContext_;
    std::shared_ptr<VMTileLoadQueue> tileOverlayLoadDics_;
    std::shared_ptr<VMTileOverlayViewRender> tileOverlayViewRender_;
};
