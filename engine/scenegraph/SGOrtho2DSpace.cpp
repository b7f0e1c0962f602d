// Projection set-up and tear-down of orthographic spaces.
#include "SGOrtho2DSpace.h"

#include "SGGL.h"
#include "SGPortIDs.h"

SGOrtho2DSpace::SGOrtho2DSpace(SoundManager* sound, QzEngineAssetManager* assets)
    : SGSpace(sound, assets) {
    classFlags |= SGOrtho2DSpaceClass;
    for (SGNumberPort* port : {&x, &y, &width, &height, &nearPlane, &farPlane, &viewRotation,
                               &modelRotation}) {
        addInputPort(port, SGPortTypeNumber);
    }
}

SGPort* SGOrtho2DSpace::portForID(SGPortID id) {
    switch (id) {
    case SGPortX: return &x;
    case SGPortY: return &y;
    case SGPortWidth: return &width;
    case SGPortHeight: return &height;
    case SGPortNear: return &nearPlane;
    case SGPortFar: return &farPlane;
    case SGPortViewRotation: return &viewRotation;
    case SGPortModelRotation: return &modelRotation;
    default: return nullptr;
    }
}

void SGOrtho2DSpace::willRender() {
    const float left = x.numberValue();
    const float bottom = y.numberValue();
    const float w = width.numberValue();
    const float h = height.numberValue();
    const float zNear = nearPlane.numberValue();
    const float zFar = farPlane.numberValue();
    const float view = viewRotation.numberValue();
    const float model = modelRotation.numberValue();

    const float right = left + w;
    const float top = bottom + h;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glRotatef(view, 0.0f, 0.0f, 1.0f);
    glOrtho(left, right, bottom, top, zNear, zFar);

    glMatrixMode(GL_MODELVIEW);
    const float cx = (right + left) * 0.5f;
    const float cy = (top + bottom) * 0.5f;
    glPushMatrix();
    glLoadIdentity();
    glTranslatef(cx, cy, 0.0f);
    glRotatef(model, 0.0f, 0.0f, 1.0f);
    glTranslatef(-cx, -cy, 0.0f);
}

void SGOrtho2DSpace::didRender() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
