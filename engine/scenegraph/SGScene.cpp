// Space management and the frame's drawing order of scenes.
#include "SGScene.h"

#include <algorithm>

#include "SGOrtho2DSpace.h"

SGScene::SGScene(SoundManager* sound, QzEngineAssetManager* assets)
    : defaultSpace(sound, assets), assetMgr(assets), soundMgr(sound) {}

namespace {

void disconnectSpace(SGSpace* space) {
    space->disconnectPorts();
    space->disconnectContents();
}

void releaseSpace(SGSpace* space) {
    space->removeAllNodes();  // see SGSpace::removeNode: breaks containment cycles
    space->release();
}

}  // namespace

SGScene::~SGScene() {
    std::vector<SGSpace*> dropped;
    dropped.swap(spaces);
    defaultSpace.disconnectContents();
    for (SGSpace* space : dropped) disconnectSpace(space);
    for (SGSpace* space : dropped) releaseSpace(space);
}

SGSpace* SGScene::createSpace(uint32_t nodeClass) {
    SGSpace* space = nodeClass == SGOrtho2DSpaceClass ? new SGOrtho2DSpace(soundMgr, assetMgr)
                                                      : new SGSpace(soundMgr, assetMgr);
    spaces.push_back(space);
    return space;
}

void SGScene::removeSpace(SGSpace* space) {
    const auto found = std::find(spaces.begin(), spaces.end(), space);
    if (found == spaces.end()) return;
    spaces.erase(found);
    disconnectSpace(space);
    releaseSpace(space);
}

bool SGScene::containsSpace(const SGSpace* space) const {
    return std::find(spaces.begin(), spaces.end(), space) != spaces.end();
}

void SGScene::render() {
    defaultSpace.compute();
    for (size_t i = 0; i < spaces.size(); ++i) spaces[i]->compute();
}

void SGScene::renderWithInitialState(SGScene& initial) {
    defaultSpace.compute();
    for (size_t i = 0; i < spaces.size(); ++i) {
        if (i < initial.spaces.size()) {
            // Back to 1 also when a read nested too deep unwinds through the overlay.
            struct HalfAlpha {
                HalfAlpha() { SGAlphaScaleFactor = 0.5f; }
                ~HalfAlpha() { SGAlphaScaleFactor = 1.0f; }
            } halfAlpha;
            initial.spaces[i]->compute();
        }
        spaces[i]->compute();
    }
}
