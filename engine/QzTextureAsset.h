// QzTextureAsset: an image asset, one picture file loaded into one texture.
#ifndef QZ_TEXTURE_ASSET_H
#define QZ_TEXTURE_ASSET_H

#include "QzAsset.h"
#include "SGImage.h"

class QzTextureAsset : public QzBaseAsset<SGImage>, public QzAssetHandleFactory {
public:
    // Loads the file (the fallback picture when it cannot be read). Needs a current OpenGL
    // context to make the texture.
    QzTextureAsset(QzIAssetObserver* observer, const std::string& path);
    // Deletes the texture.
    ~QzTextureAsset() override;

    SGImage* getAsset() override { return &image; }
    // Deletes the texture; the image becomes SGImageNull so it is deleted only once.
    void freeAsset() override;
    // Loads the file again into a new texture that takes the old one's place in the same
    // image record, so every handle shows the new picture. False with *error set when the file
    // cannot be loaded; the old picture then stays. Needs a current OpenGL context.
    bool reload(std::string* error);

private:
    SGImage image;  // owns its texture
};

#endif
