// Making, destroying and driving joints from a checked description, in Box2D's units.
#include "QzJoints.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// Springs stiffer than this cannot be followed at any usable time step, and far larger values
// overflow the stiffness Box2D derives from them (mass times the square of the frequency).
constexpr float kMaxFrequency = 1000.0f;
constexpr float kMaxDampingRatio = 1000.0f;

constexpr const char* kKindNames[] = {"revolute", "distance", "prismatic", "weld", "rope", "mouse"};

bool finite(float value) { return std::isfinite(value); }
bool finite(const b2Vec2& vector) { return std::isfinite(vector.x) && std::isfinite(vector.y); }
bool finite(const std::optional<float>& value) { return !value || std::isfinite(*value); }

QzJointKind kindOf(const b2Joint* joint) {
    const qzJointUserData* record = QzJointRecord(joint);
    if (record) return record->kind;
    switch (joint->GetType()) {
        case e_distanceJoint: return QzJointKind::distance;
        case e_prismaticJoint: return QzJointKind::prismatic;
        case e_weldJoint: return QzJointKind::weld;
        case e_mouseJoint: return QzJointKind::mouse;
        default: return QzJointKind::revolute;
    }
}

// The length a distance joint or rope keeps: the one given, else the anchors' present distance.
float lengthOf(const QzJointRequest& request) {
    return request.length ? *request.length : b2Distance(request.anchorA, request.anchorB);
}

void fillRevolute(const QzJointRequest& request, b2RevoluteJointDef* definition) {
    definition->Initialize(request.bodyA, request.bodyB, request.anchorA);
    definition->enableLimit = request.lower.has_value();
    definition->lowerAngle = request.lower.value_or(0.0f);
    definition->upperAngle = request.upper.value_or(0.0f);
    definition->enableMotor = request.motorSpeed.has_value();
    definition->motorSpeed = request.motorSpeed.value_or(0.0f);
    definition->maxMotorTorque = request.maxMotor;
}

void fillPrismatic(const QzJointRequest& request, b2PrismaticJointDef* definition) {
    b2Vec2 axis = request.axis;
    axis.Normalize();
    definition->Initialize(request.bodyA, request.bodyB, request.anchorA, axis);
    definition->enableLimit = request.lower.has_value();
    definition->lowerTranslation = request.lower.value_or(0.0f);
    definition->upperTranslation = request.upper.value_or(0.0f);
    definition->enableMotor = request.motorSpeed.has_value();
    definition->motorSpeed = request.motorSpeed.value_or(0.0f);
    definition->maxMotorForce = request.maxMotor;
}

void fillWeld(const QzJointRequest& request, b2WeldJointDef* definition) {
    definition->Initialize(request.bodyA, request.bodyB, request.anchorA);
    b2AngularStiffness(definition->stiffness, definition->damping, request.frequency, request.dampingRatio,
                       request.bodyA, request.bodyB);
}

// A rigid rod keeps its length both ways; a spring (a frequency above 0) pulls towards it;
// a rope only stops the anchors from getting further apart.
void fillDistance(const QzJointRequest& request, b2DistanceJointDef* definition) {
    definition->Initialize(request.bodyA, request.bodyB, request.anchorA, request.anchorB);
    const float length = lengthOf(request);
    definition->length = length;
    definition->minLength = length;
    definition->maxLength = length;
    if (request.kind == QzJointKind::rope) {
        definition->minLength = 0.0f;
    } else if (request.frequency > 0.0f) {
        definition->minLength = 0.0f;
        definition->maxLength = FLT_MAX;
        b2LinearStiffness(definition->stiffness, definition->damping, request.frequency, request.dampingRatio,
                          request.bodyA, request.bodyB);
    }
}

void fillMouse(const QzJointRequest& request, b2MouseJointDef* definition) {
    definition->bodyA = request.bodyA;
    definition->bodyB = request.bodyB;
    definition->target = request.target;
    definition->maxForce = request.maxForce;
    b2LinearStiffness(definition->stiffness, definition->damping, request.frequency, request.dampingRatio,
                      request.bodyA, request.bodyB);
}

}  // namespace

std::optional<QzJointKind> QzJointKindNamed(const char* name) {
    for (int index = 0; index < static_cast<int>(std::size(kKindNames)); ++index) {
        if (std::strcmp(name, kKindNames[index]) == 0) return static_cast<QzJointKind>(index);
    }
    return std::nullopt;
}

const char* QzJointKindName(QzJointKind kind) { return kKindNames[static_cast<int>(kind)]; }

const char* QzJointRequestProblem(const QzJointRequest& request) {
    if (!request.bodyA || !request.bodyB) return "a joint needs two bodies";
    if (request.bodyA == request.bodyB) return "a joint needs two different bodies, not the same body twice";
    if (request.bodyA->GetWorld() != request.bodyB->GetWorld()) return "the two bodies belong to different worlds";
    if (!finite(request.anchorA) || !finite(request.anchorB) || !finite(request.axis) || !finite(request.target) ||
        !finite(request.length) || !finite(request.lower) || !finite(request.upper) || !finite(request.motorSpeed) ||
        !finite(request.maxMotor) || !finite(request.frequency) || !finite(request.dampingRatio) ||
        !finite(request.maxForce)) {
        return "every number of a joint must be finite";
    }
    if (request.lower.has_value() != request.upper.has_value()) return "a limit needs both a lower and an upper end";
    if (request.lower && *request.lower > *request.upper) return "the limit's lower end lies above its upper end";
    if (request.kind == QzJointKind::prismatic && request.axis.LengthSquared() < b2_epsilon) {
        return "the axis of a prismatic joint has no direction";
    }
    if (request.length && *request.length < 0.0f) return "a joint's length must not be negative";
    if (request.maxMotor < 0.0f || request.maxForce < 0.0f) return "a joint's torque or force must not be negative";
    if (request.frequency < 0.0f || request.dampingRatio < 0.0f) {
        return "a joint's stiffness (frequency) and damping must not be negative";
    }
    if (request.frequency > kMaxFrequency || request.dampingRatio > kMaxDampingRatio) {
        return "a joint's stiffness (frequency) and damping must be at most 1000";
    }
    return nullptr;
}

b2Joint* QzCreateJoint(b2World* world, const QzJointRequest& request) {
    // One definition of each kind, by value: Box2D's definitions have no virtual destructor.
    b2RevoluteJointDef revolute;
    b2PrismaticJointDef prismatic;
    b2WeldJointDef weld;
    b2DistanceJointDef distance;
    b2MouseJointDef mouse;
    b2JointDef* definition = nullptr;
    switch (request.kind) {
        case QzJointKind::revolute: fillRevolute(request, &revolute); definition = &revolute; break;
        case QzJointKind::prismatic: fillPrismatic(request, &prismatic); definition = &prismatic; break;
        case QzJointKind::weld: fillWeld(request, &weld); definition = &weld; break;
        case QzJointKind::distance:
        case QzJointKind::rope: fillDistance(request, &distance); definition = &distance; break;
        case QzJointKind::mouse: fillMouse(request, &mouse); definition = &mouse; break;
    }
    definition->collideConnected = request.collideConnected;
    auto record = std::make_unique<qzJointUserData>(request.kind);
    definition->userData.pointer = reinterpret_cast<uintptr_t>(record.get());
    b2Joint* joint = world->CreateJoint(definition);
    record.release()->attachTo(joint);
    return joint;
}

void QzDestroyJoint(b2Joint* joint) {
    b2World* world = joint->GetBodyA()->GetWorld();
    QzFreeJointRecord(joint);
    world->DestroyJoint(joint);
}

const char* QzSetJointMotor(b2Joint* joint, bool enabled, float speed, float maxMotor) {
    if (!finite(speed) || !finite(maxMotor)) return "a motor's speed and torque or force must be finite";
    if (maxMotor < 0.0f) return "a motor's torque or force must not be negative";
    switch (kindOf(joint)) {
        case QzJointKind::revolute: {
            auto* revolute = static_cast<b2RevoluteJoint*>(joint);
            revolute->EnableMotor(enabled);
            revolute->SetMotorSpeed(speed);
            revolute->SetMaxMotorTorque(maxMotor);
            return nullptr;
        }
        case QzJointKind::prismatic: {
            auto* prismatic = static_cast<b2PrismaticJoint*>(joint);
            prismatic->EnableMotor(enabled);
            prismatic->SetMotorSpeed(speed);
            prismatic->SetMaxMotorForce(maxMotor);
            return nullptr;
        }
        default:
            return "only revolute and prismatic joints have a motor";
    }
}

const char* QzSetJointLimits(b2Joint* joint, bool enabled, float lower, float upper) {
    if (!finite(lower) || !finite(upper)) return "a limit's ends must be finite";
    if (lower > upper) return "the limit's lower end lies above its upper end";
    switch (kindOf(joint)) {
        case QzJointKind::revolute: {
            auto* revolute = static_cast<b2RevoluteJoint*>(joint);
            revolute->SetLimits(lower, upper);
            revolute->EnableLimit(enabled);
            return nullptr;
        }
        case QzJointKind::prismatic: {
            auto* prismatic = static_cast<b2PrismaticJoint*>(joint);
            prismatic->SetLimits(lower, upper);
            prismatic->EnableLimit(enabled);
            return nullptr;
        }
        case QzJointKind::distance:
        case QzJointKind::rope: {
            if (!enabled) return "a distance joint or rope always keeps its limits";
            if (lower < 0.0f) return "a joint's length must not be negative";
            auto* distance = static_cast<b2DistanceJoint*>(joint);
            // Box2D clamps the minimum to the present maximum: open the range first.
            distance->SetMinLength(0.0f);
            distance->SetMaxLength(upper);
            distance->SetMinLength(lower);
            distance->SetLength(upper);
            joint->GetBodyA()->SetAwake(true);
            joint->GetBodyB()->SetAwake(true);
            return nullptr;
        }
        default:
            return "only revolute, prismatic and distance joints and ropes have limits";
    }
}

const char* QzSetJointTarget(b2Joint* joint, const b2Vec2& target) {
    if (!finite(target)) return "a target must be finite";
    if (kindOf(joint) != QzJointKind::mouse) return "only mouse joints have a target";
    static_cast<b2MouseJoint*>(joint)->SetTarget(target);
    return nullptr;
}

float QzJointPosition(const b2Joint* joint) {
    switch (kindOf(joint)) {
        case QzJointKind::revolute: return static_cast<const b2RevoluteJoint*>(joint)->GetJointAngle();
        case QzJointKind::prismatic: return static_cast<const b2PrismaticJoint*>(joint)->GetJointTranslation();
        case QzJointKind::distance:
        case QzJointKind::rope: return b2Distance(joint->GetAnchorA(), joint->GetAnchorB());
        case QzJointKind::mouse:
            return b2Distance(static_cast<const b2MouseJoint*>(joint)->GetTarget(), joint->GetAnchorB());
        case QzJointKind::weld: return 0.0f;
    }
    return 0.0f;
}

float QzJointSpeed(const b2Joint* joint) {
    switch (kindOf(joint)) {
        case QzJointKind::revolute: return static_cast<const b2RevoluteJoint*>(joint)->GetJointSpeed();
        case QzJointKind::prismatic: return static_cast<const b2PrismaticJoint*>(joint)->GetJointSpeed();
        default: return 0.0f;
    }
}
