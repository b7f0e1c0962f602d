// Joints between two bodies: the checked description a joint is made from, and its motor, limits and readings.
#ifndef QZ_JOINTS_H
#define QZ_JOINTS_H

#include <optional>

#include <box2d/box2d.h>

#include "QzPhysicsRecords.h"

// Everything one joint can be made from, in Box2D's units (metres, radians, kilograms,
// newtons). Which fields a kind reads:
//   revolute:  anchorA (the pivot), limits (lower, upper angle), motor (speed, max torque)
//   prismatic: anchorA, axis, limits (lower, upper translation), motor (speed, max force)
//   weld:      anchorA, frequency and dampingRatio (0 Hz: rigid)
//   distance:  anchorA, anchorB; length (absent: the present distance), frequency and
//              dampingRatio (0 Hz: a rigid rod, more: a spring)
//   rope:      anchorA, anchorB; length (absent: the present distance), the most it stretches to
//   mouse:     body B is dragged towards target with at most maxForce, with frequency and
//              dampingRatio; body A (usually a static body) only completes the pair
struct QzJointRequest {
    QzJointKind kind = QzJointKind::revolute;
    b2Body* bodyA = nullptr;  // borrowed
    b2Body* bodyB = nullptr;  // borrowed
    b2Vec2 anchorA{0.0f, 0.0f};
    b2Vec2 anchorB{0.0f, 0.0f};
    b2Vec2 axis{1.0f, 0.0f};
    std::optional<float> length;
    std::optional<float> lower, upper;      // a limit needs both
    std::optional<float> motorSpeed;        // a motor runs when a speed is given
    float maxMotor = 0.0f;                  // torque (revolute) or force (prismatic)
    float frequency = 0.0f;                 // Hz
    float dampingRatio = 0.0f;
    b2Vec2 target{0.0f, 0.0f};
    float maxForce = 0.0f;
    bool collideConnected = false;
};

// The kind named ("revolute", "distance", "prismatic", "weld", "rope", "mouse"), or none.
std::optional<QzJointKind> QzJointKindNamed(const char* name);
const char* QzJointKindName(QzJointKind kind);

// Why the request cannot make a joint (two bodies that are the same, of different worlds, a
// limit whose lower end lies above its upper end, an axis of length 0, a negative force,
// frequency or length...), or null when it can. Box2D asserts on most of these.
const char* QzJointRequestProblem(const QzJointRequest& request);

// Makes the joint and attaches a record of its kind. The request must have no problem and the
// world must not be locked (not stepping, not inside a callback).
b2Joint* QzCreateJoint(b2World* world, const QzJointRequest& request);

// Destroys a joint made by QzCreateJoint, freeing its record. The world must not be locked.
void QzDestroyJoint(b2Joint* joint);

// The joint's motor and limits. Each returns a problem text (the kind has no motor, a limit
// whose ends are the wrong way round) and changes nothing then, or null when it was done.
// Units as in QzJointRequest; the lengths of distance joints and ropes are their limits.
const char* QzSetJointMotor(b2Joint* joint, bool enabled, float speed, float maxMotor);
const char* QzSetJointLimits(b2Joint* joint, bool enabled, float lower, float upper);
// A mouse joint's target.
const char* QzSetJointTarget(b2Joint* joint, const b2Vec2& target);

// The joint's main reading: the angle of a revolute joint (radians, from where it was made),
// the translation of a prismatic one, the length between the anchors of a distance joint or
// rope, the distance from a mouse joint's body to its target; 0 for a weld.
float QzJointPosition(const b2Joint* joint);
// How fast that reading changes (per second); 0 where Box2D does not say.
float QzJointSpeed(const b2Joint* joint);

#endif
