// Image assets: one texture per picture file.
#include "QzTextureAsset.h"

#include "QzImageLoader.h"

QzTextureAsset::QzTextureAsset(QzIAssetObserver* observer, const std::string& path)
    : QzBaseAsset<SGImage>(observer, path), image(QzLoadImageFromFile(path.c_str())) {}

QzTextureAsset::~QzTextureAsset() { QzTextureAsset::freeAsset(); }

void QzTextureAsset::freeAsset() {
    if (image.textureName != 0) image.freeImage();
    image = SGImageNull;
}

bool QzTextureAsset::reload(std::string* error) {
    SGImage replacement;
    if (!QzLoadImageTexture(getResourceLocator(), &replacement, error)) return false;
    freeAsset();
    image = replacement;
    return true;
}
