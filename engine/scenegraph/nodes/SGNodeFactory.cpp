// The class table of SGSpace::createNode.
#include "nodes/SGNodeFactory.h"

#include "SGSpace.h"
#include "nodes/SGArithmeticNode.h"
#include "nodes/SGClearNode.h"
#include "nodes/SGColorNode.h"
#include "nodes/SGImageFlipNode.h"
#include "nodes/SGParticleSystemNode.h"
#include "nodes/SGReplicatorNode.h"
#include "nodes/SGSpriteNode.h"
#include "nodes/SGWrapNode.h"

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
    default: return nullptr;
    }
}
