// SGTiledSpriteRenderer and its one-direction variants: a texture repeated across the quad
// in tiles, the last column and row cropped by the anchors.
#ifndef SG_TILED_SPRITE_RENDERER_H
#define SG_TILED_SPRITE_RENDERER_H

#include <vector>

#include "nodes/spriteRenderers/SGSpriteRenderer.h"

// Tiles in both directions. The vertex array is rebuilt only when the size, the tile size,
// the texture, the texture rectangle, the wrapping modes or the anchors change.
class SGTiledSpriteRenderer : public SGSpriteRenderer {
public:
    void drawSprite(const SGSpriteDrawParams& params, const SGSpritePaint& paint) override;

    // More tile cells than this draw nothing rather than allocate without bound.
    static constexpr int64_t kMaxCells = 1 << 18;

    int32_t vertexCount() const { return static_cast<int32_t>(vertices.size() / 4); }
    const std::vector<float>& vertexArray() const { return vertices; }

protected:
    virtual void updateVertexArray(const SGSpriteDrawParams& params);

    // Appends the two triangles of the cell (x0, y0)-(x1, y1) showing r.
    void addCell(float x0, float y0, float x1, float y1, const SGTextureRect& r);
    // The number of tiles of size tile that cover extent, or 0 when the tile size is 0 or
    // less, the extent is not positive, or the count is unreasonable.
    static int64_t tileCount(float extent, int32_t tile);

    std::vector<float> vertices;  // interleaved (x, y, s, t), six vertices per cell
    float originX = 0.0f;
    float originY = 0.0f;

private:
    bool cacheMatches(const SGSpriteDrawParams& params) const;

    bool hasCache = false;
    SGSpriteDrawParams cached{};
};

// Tiles across, one band vertically (stretched or fixed).
class SGHorizontalTiledSpriteRenderer : public SGTiledSpriteRenderer {
protected:
    void updateVertexArray(const SGSpriteDrawParams& params) override;
};

// Tiles upward, one band horizontally (stretched or fixed).
class SGVerticalTiledSpriteRenderer : public SGTiledSpriteRenderer {
protected:
    void updateVertexArray(const SGSpriteDrawParams& params) override;
};

#endif
