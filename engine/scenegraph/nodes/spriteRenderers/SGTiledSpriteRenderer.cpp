// Vertex arrays and drawing of tiled sprites.
#include "nodes/spriteRenderers/SGTiledSpriteRenderer.h"

#include <cmath>

#include "nodes/spriteRenderers/SGTexturedSpriteRenderer.h"

namespace {

// The tile size carried in the image's width or height field (signed, as the script set it).
int32_t tileSize(uint32_t field) { return static_cast<int32_t>(field); }

// The extent of the cell that starts at offset within extent: a whole tile, or the rest of
// the extent with the texture rectangle cropped to match by the anchor.
float cellExtent(float extent, float offset, int32_t tile, SGTextureRect& r, int32_t anchor,
                 void (SGTextureRect::*crop)(float, int32_t)) {
    const float rest = extent - offset;
    if (static_cast<float>(tile) > rest) {
        (r.*crop)(rest / static_cast<float>(tile), anchor);
        return rest;
    }
    return static_cast<float>(tile);
}

bool same(float a, float b) { return a == b; }  // false for NaN, so NaN always rebuilds

}  // namespace

int64_t SGTiledSpriteRenderer::tileCount(float extent, int32_t tile) {
    if (tile <= 0 || !(extent > 0.0f)) return 0;
    const double count = std::ceil(static_cast<double>(extent) / tile);
    return count > static_cast<double>(kMaxCells) ? 0 : static_cast<int64_t>(count);
}

void SGTiledSpriteRenderer::addCell(float x0, float y0, float x1, float y1,
                                    const SGTextureRect& r) {
    const float cell[24] = {x0, y0, r.s0, r.t0, x1, y0, r.s1, r.t0, x0, y1, r.s0, r.t1,
                            x1, y0, r.s1, r.t0, x0, y1, r.s0, r.t1, x1, y1, r.s1, r.t1};
    vertices.insert(vertices.end(), cell, cell + 24);
}

bool SGTiledSpriteRenderer::cacheMatches(const SGSpriteDrawParams& p) const {
    const SGImage& a = p.image;
    const SGImage& b = cached.image;
    return hasCache && same(p.halfWidth, cached.halfWidth) &&
           same(p.halfHeight, cached.halfHeight) && a.width == b.width &&
           a.height == b.height && a.textureName == b.textureName &&
           a.textureWidth == b.textureWidth && a.textureHeight == b.textureHeight &&
           same(a.textureRect.s0, b.textureRect.s0) && same(a.textureRect.t0, b.textureRect.t0) &&
           same(a.textureRect.s1, b.textureRect.s1) && same(a.textureRect.t1, b.textureRect.t1) &&
           p.horizontalWrapping == cached.horizontalWrapping &&
           p.verticalWrapping == cached.verticalWrapping &&
           p.horizontalAnchor == cached.horizontalAnchor &&
           p.verticalAnchor == cached.verticalAnchor;
}

void SGTiledSpriteRenderer::drawSprite(const SGSpriteDrawParams& p, const SGSpritePaint& paint) {
    if (!cacheMatches(p)) {
        vertices.clear();
        updateVertexArray(p);
        cached = p;
        hasCache = true;
    }
    if (vertices.empty()) return;
    SGSpriteBatcher::shared().addTriangles(
        SGBatchStateFor(&p.image, paint.blend),
        SGSpriteFrame(std::floor(p.x), std::floor(p.y), p.angle, originX, originY),
        vertices.data(), vertexCount(), paint.colour);
}

void SGTiledSpriteRenderer::updateVertexArray(const SGSpriteDrawParams& p) {
    const int32_t tw = tileSize(p.image.width);
    const int32_t th = tileSize(p.image.height);
    const float width = 2.0f * p.halfWidth;
    const float height = 2.0f * p.halfHeight;
    const int64_t columns = tileCount(width, tw);
    const int64_t rows = tileCount(height, th);
    originX = -p.halfWidth;
    originY = -p.halfHeight;
    if (columns * rows > kMaxCells) return;
    vertices.reserve(static_cast<size_t>(columns * rows * 24));
    const SGTextureRect& image = p.image.textureRect;
    for (int64_t c = 0; c < columns; ++c) {
        const float x0 = static_cast<float>(c * tw);
        SGTextureRect r = image;
        const float x1 = x0 + cellExtent(width, x0, tw, r, p.horizontalAnchor,
                                         &SGTextureRect::cropHorizontally);
        for (int64_t row = 0; row < rows; ++row) {
            const float y0 = static_cast<float>(row * th);
            r.t1 = image.t1;
            const float y1 = y0 + cellExtent(height, y0, th, r, p.verticalAnchor,
                                             &SGTextureRect::cropVertically);
            addCell(x0, y0, x1, y1, r);
        }
    }
}

void SGHorizontalTiledSpriteRenderer::updateVertexArray(const SGSpriteDrawParams& p) {
    const int32_t tw = tileSize(p.image.width);
    const float width = 2.0f * p.halfWidth;
    const int64_t columns = tileCount(width, tw);
    SGTextureRect r = p.image.textureRect;
    float hh = p.halfHeight;
    if (p.verticalWrapping == SGWrapFixed) {
        SGFitFixedAxis(p.image.getHeight(), hh, r, p.verticalAnchor, &SGTextureRect::cropVertically);
    }
    originX = -p.halfWidth;
    originY = -hh;
    const float height = 2.0f * hh;
    vertices.reserve(static_cast<size_t>(columns * 24));
    for (int64_t c = 0; c < columns; ++c) {
        const float x0 = static_cast<float>(c * tw);
        r.s1 = p.image.textureRect.s1;
        const float x1 = x0 + cellExtent(width, x0, tw, r, p.horizontalAnchor,
                                         &SGTextureRect::cropHorizontally);
        addCell(x0, 0.0f, x1, height, r);
    }
}

void SGVerticalTiledSpriteRenderer::updateVertexArray(const SGSpriteDrawParams& p) {
    const int32_t th = tileSize(p.image.height);
    const float height = 2.0f * p.halfHeight;
    const int64_t rows = tileCount(height, th);
    SGTextureRect r = p.image.textureRect;
    float hw = p.halfWidth;
    if (p.horizontalWrapping == SGWrapFixed) {
        SGFitFixedAxis(p.image.getWidth(), hw, r, p.horizontalAnchor,
                       &SGTextureRect::cropHorizontally);
    }
    originX = -hw;
    originY = -p.halfHeight;
    const float width = 2.0f * hw;
    vertices.reserve(static_cast<size_t>(rows * 24));
    for (int64_t row = 0; row < rows; ++row) {
        const float y0 = static_cast<float>(row * th);
        r.t1 = p.image.textureRect.t1;
        const float y1 = y0 + cellExtent(height, y0, th, r, p.verticalAnchor,
                                         &SGTextureRect::cropVertically);
        addCell(0.0f, y0, width, y1, r);
    }
}
