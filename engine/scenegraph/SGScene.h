// SGScene: the ordered spaces of one scene, drawn once a frame.
#ifndef SG_SCENE_H
#define SG_SCENE_H

#include <vector>

#include "SGObject.h"
#include "SGSpace.h"

class SGScene : public SGObject {
public:
    SGScene(SoundManager* soundMgr, QzEngineAssetManager* assetMgr);
    // Disconnects every node of the scene (see SGSpace::disconnectContents), so that whatever
    // the connections between them all go, then empties and releases the spaces in order;
    // the default space goes with the scene.
    ~SGScene() override;

    // An SGOrtho2DSpace for the class ortho2DSpace, a plain space for any other value; the
    // scene holds the space's one reference.
    SGSpace* createSpace(uint32_t nodeClass);
    // Empties and releases the space if the scene has it; otherwise nothing. Its nodes and
    // the space itself are disconnected first, as when the scene is deleted.
    void removeSpace(SGSpace* space);
    bool containsSpace(const SGSpace* space) const;
    // Draws the default space, then every space in order.
    void render();
    // As render, but before each space i draws the space i of the initial scene (if it has
    // one) at half alpha. The initial scene's default space is not drawn.
    void renderWithInitialState(SGScene& initial);

    std::vector<SGSpace*> spaces;  // retained, one reference each
    SGSpace defaultSpace;          // lives and dies with the scene
    QzEngineAssetManager* assetMgr;  // borrowed; may be null
    SoundManager* soundMgr;          // borrowed; may be null
};

#endif
