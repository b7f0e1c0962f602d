// Builds the node of a class for SGSpace::createNode.
#ifndef SG_NODE_FACTORY_H
#define SG_NODE_FACTORY_H

#include <cstdint>

class SGNode;
class SGSpace;

// A new node (one reference, the caller's) of the class, built for the space, or none for
// a class no space builds (attribute nodes, the asset-loader base, orthographic spaces).
SGNode* SGNodeFactoryCreate(SGSpace& space, uint32_t nodeClass);

#endif
