// The class table of SGSpace::createNode.
#include "nodes/SGNodeFactory.h"

#include "QzEngineAssetManager.h"
#include "SGSpace.h"
#include "SoundManager.h"
#include "nodes/SGArithmeticNode.h"
#include "nodes/SGClearNode.h"
#include "nodes/SGColorNode.h"
#include "nodes/SGImageCellNode.h"
#include "nodes/SGImageFlipNode.h"
#include "nodes/SGImageLoaderNode.h"
#include "nodes/SGParticleSystemNode.h"
#include "nodes/SGReplicatorNode.h"
#include "nodes/SGSoundLoaderNode.h"
#include "nodes/SGSoundPlayerNode.h"
#include "nodes/SGSpriteNode.h"
#include "nodes/SGStringToImageNode.h"
#include "nodes/SGWrapNode.h"

namespace {

// The space's managers, unless the script has deleted them since.
QzEngineAssetManager* liveAssetManager(const SGSpace& space) {
    return QzEngineAssetManager::isLive(space.assetMgr) ? space.assetMgr : nullptr;
}

SoundManager* liveSoundManager(const SGSpace& space) {
    return SoundManager::isLive(space.soundMgr) ? space.soundMgr : nullptr;
}

}  // namespace

SGNode* SGNodeFactoryCreate(SGSpace& space, uint32_t nodeClass) {
    switch (nodeClass) {
    case SGArithmeticNodeClass: return new SGArithmeticNode;
    case SGClearNodeClass: return new SGClearNode;
    case SGColorNodeClass: return new SGColorNode;
    case SGParticleSystemNodeClass: return new SGParticleSystemNode;
    case SGReplicatorSpaceClass: return new SGReplicatorNode(space);
    case SGSpaceClass: return new SGSpace(space.soundMgr, space.assetMgr);
    case SGSpriteNodeClass: return new SGSpriteNode;
    case SGWrapSpaceClass: return new SGWrapNode(space);
    case SGImageFlipNodeClass: return new SGImageFlipNode;
    case SGImageCellNodeClass: return new SGImageCellNode;
    case SGImageLoaderNodeClass: return new SGImageLoaderNode(liveAssetManager(space));
    case SGStringToImageNodeClass: return new SGStringToImageNode(liveAssetManager(space));
    case SGSoundLoaderNodeClass: return new SGSoundLoaderNode(liveAssetManager(space));
    case SGSoundPlayerNodeClass: return new SGSoundPlayerNode(liveSoundManager(space));
    case SGSoundListenerNodeClass: return new SGSoundListenerNode;
    default: return nullptr;
    }
}
