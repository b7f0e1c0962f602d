// SGOrtho2DSpace: a space that draws its nodes through its own orthographic projection.
#ifndef SG_ORTHO_2D_SPACE_H
#define SG_ORTHO_2D_SPACE_H

#include "SGSpace.h"

class SGOrtho2DSpace : public SGSpace {
public:
    SGOrtho2DSpace(SoundManager* soundMgr, QzEngineAssetManager* assetMgr);

    SGPort* portForID(SGPortID id) override;
    // Pushes the projection (view rotation, then the orthographic box) and the model-view
    // rotation about the box's centre.
    void willRender() override;
    // Pops both matrices; the model-view matrix stays current.
    void didRender() override;

    SGNumberPort x;
    SGNumberPort y;
    SGNumberPort width;
    SGNumberPort height;
    SGNumberPort nearPlane;
    SGNumberPort farPlane;
    SGNumberPort viewRotation;
    SGNumberPort modelRotation;
};

#endif
