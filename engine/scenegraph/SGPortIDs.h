// Port identifiers: the IDs by which nodes answer portForID, the numbers the script's port
// names stand for.
#ifndef SG_PORT_IDS_H
#define SG_PORT_IDS_H

#include "ports/SGPort.h"

enum : SGPortID {
    SGPortValue = 0, SGPortInput1 = 1, SGPortInput2 = 2, SGPortOperation = 3, SGPortOutput = 4,
    SGPortName = 5, SGPortAsset = 6, SGPortColor = 7, SGPortR = 8, SGPortG = 9, SGPortB = 10,
    SGPortA = 11, SGPortFlipHorizontal = 12, SGPortFlipVertical = 13, SGPortInput = 14,
    SGPortNear = 15, SGPortFar = 16, SGPortViewRotation = 17, SGPortModelRotation = 18,
    SGPortTime = 19, SGPortSpawnParticles = 20, SGPortNumParticles = 21, SGPortImage = 22,
    SGPortDirection = 23, SGPortLifetime = 24, SGPortLifestart = 25, SGPortColorTarget = 26,
    SGPortColorTransitionTime = 27, SGPortX = 28, SGPortY = 29, SGPortRotation = 30,
    SGPortSize = 31, SGPortSizeTarget = 32, SGPortSizeTransitionTime = 33, SGPortGravityX = 34,
    SGPortGravityY = 35, SGPortSpeed = 36, SGPortAngularVelocity = 37, SGPortBlendingMode = 38,
    SGPortAngle = 39, SGPortSpacing = 40, SGPortCopies = 41, SGPortGain = 42, SGPortSound = 43,
    SGPortDx = 44, SGPortDy = 45, SGPortSourceRelative = 46, SGPortVolume = 47, SGPortPitch = 48,
    SGPortLoop = 49, SGPortTrigger = 50, SGPortStop = 51, SGPortPause = 52, SGPortResume = 53,
    SGPortPlaying = 54, SGPortWidth = 55, SGPortHeight = 56, SGPortHorizontalWrapping = 57,
    SGPortVerticalWrapping = 58, SGPortHorizontalAnchor = 59, SGPortVerticalAnchor = 60,
    SGPortTileWidth = 61, SGPortTileHeight = 62, SGPortText = 63, SGPortFont = 64,
    SGPortFontSize = 65, SGPortAlignment = 66, SGPortWrapX = 67, SGPortWrapY = 68,
    SGPortWrapWidth = 69, SGPortWrapHeight = 70, SGPortWrap = 71, SGPortDirectionSpread = 72,
    SGPortSpeedSpread = 73, SGPortColumns = 74, SGPortRows = 75, SGPortCell = 76,
    SGPortMarkup = 77, SGPortOutlineColor = 78, SGPortOutlineWidth = 79, SGPortShadowColor = 80,
    SGPortShadowDx = 81, SGPortShadowDy = 82,
};

#endif
