// Script functions of the class Joint, and World's createJoint and destroyJoint.
#include <optional>

#include "QzJoints.h"
#include "QzPhysicsBinding.h"
#include "QzPhysicsCallbacks.h"

namespace {

// Scripts give lengths, positions and speeds along a line in screen units, angles in
// radians, forces in kilograms times screen units per second squared and torques in
// kilograms times square screen units per second squared.
constexpr float kTorqueToMetres = kQzToMetres * kQzToMetres;

// The number in field `name` of the options table, or none when the field is nil.
std::optional<float> optionalOption(lua_State* L, int options, const char* name) {
    lua_getfield(L, options, name);
    std::optional<float> value;
    if (!lua_isnil(L, -1)) {
        if (lua_type(L, -1) != LUA_TNUMBER) luaL_error(L, "joint option '%s': number expected", name);
        value = static_cast<float>(lua_tonumber(L, -1));
        if (!std::isfinite(*value)) luaL_error(L, "joint option '%s': finite number expected", name);
    }
    lua_pop(L, 1);
    return value;
}

float option(lua_State* L, int options, const char* name, float fallback, float scale = 1.0f) {
    return optionalOption(L, options, name).value_or(fallback / scale) * scale;
}

b2Vec2 pointOption(lua_State* L, int options, const char* x, const char* y, const b2Vec2& fallback) {
    return b2Vec2(option(L, options, x, fallback.x, kQzToMetres), option(L, options, y, fallback.y, kQzToMetres));
}

std::optional<float> scaled(std::optional<float> value, float scale) {
    if (value) *value *= scale;
    return value;
}

bool rotates(QzJointKind kind) { return kind == QzJointKind::revolute; }

// The scale from script units to Box2D's of a joint's limits and motor speed.
float linearScale(QzJointKind kind) { return rotates(kind) ? 1.0f : kQzToMetres; }

// The request the options table describes for the two bodies; anchors default to the bodies'
// positions, the axis to (1, 0), the mouse target to body B's position.
QzJointRequest readRequest(lua_State* L, int options, QzJointKind kind, b2Body* bodyA, b2Body* bodyB) {
    QzJointRequest request;
    request.kind = kind;
    request.bodyA = bodyA;
    request.bodyB = bodyB;
    request.anchorA = pointOption(L, options, "anchorAX", "anchorAY", bodyA->GetPosition());
    request.anchorB = pointOption(L, options, "anchorBX", "anchorBY", bodyB->GetPosition());
    request.axis = b2Vec2(option(L, options, "axisX", 1.0f), option(L, options, "axisY", 0.0f));
    request.length = scaled(optionalOption(L, options, "length"), kQzToMetres);
    request.lower = scaled(optionalOption(L, options, "lower"), linearScale(kind));
    request.upper = scaled(optionalOption(L, options, "upper"), linearScale(kind));
    request.motorSpeed = scaled(optionalOption(L, options, "motorSpeed"), linearScale(kind));
    request.maxMotor = option(L, options, "maxMotor", 0.0f, rotates(kind) ? kTorqueToMetres : kQzToMetres);
    request.frequency = option(L, options, "frequency", 0.0f);
    request.dampingRatio = option(L, options, "dampingRatio", 0.0f);
    request.target = pointOption(L, options, "targetX", "targetY", bodyB->GetPosition());
    request.maxForce = option(L, options, "maxForce", 0.0f, kQzToMetres);
    lua_getfield(L, options, "collideConnected");
    request.collideConnected = lua_toboolean(L, -1) != 0;
    lua_pop(L, 1);
    return request;
}

// world:createJoint(kind, bodyA, bodyB, options): a Joint, or a Lua error saying why the
// joint cannot be made. Refused (reported, no value) while the world is locked.
int worldCreateJoint(lua_State* L) {
    const QzArgsFromTop arg(L, 5);
    b2World* world = QzCheckWorld(L, arg[1]);
    const std::optional<QzJointKind> kind = QzJointKindNamed(luaL_checkstring(L, arg[2]));
    if (!kind) luaL_argerror(L, arg[2], "revolute, distance, prismatic, weld, rope or mouse expected");
    b2Body* bodyA = QzCheckBody(L, arg[3]);
    b2Body* bodyB = QzCheckBody(L, arg[4]);
    luaL_checktype(L, arg[5], LUA_TTABLE);
    if (bodyA->GetWorld() != world) luaL_argerror(L, arg[3], "the body belongs to another world");
    const QzJointRequest request = readRequest(L, arg[5], *kind, bodyA, bodyB);
    if (const char* problem = QzJointRequestProblem(request)) luaL_error(L, "cannot make the joint: %s", problem);
    QzCheckUnlocked(world);
    pushJoint(L, QzCreateJoint(world, request));
    return 1;
}

// world:destroyJoint(joint): true when it destroyed the joint, false when the joint was gone
// already (destroyed before, or with one of its bodies).
int worldDestroyJoint(lua_State* L) {
    const QzArgsFromTop arg(L, 2);
    b2World* world = QzCheckWorld(L, arg[1]);
    const auto& liveness = static_cast<QzJointObject*>(luaL_checkudata(L, arg[2], kQzJointMT))->joint;
    b2Joint* joint = liveness ? liveness->object : nullptr;
    if (joint && joint->GetBodyA()->GetWorld() != world) {
        luaL_argerror(L, arg[2], "the joint belongs to another world");
    }
    if (joint) {
        QzCheckUnlocked(world);
        QzDestroyJoint(joint);
    }
    lua_pushboolean(L, joint != nullptr);
    return 1;
}

// Raises the problem a joint function returned, if any.
void raise(lua_State* L, const char* problem) {
    if (problem) luaL_error(L, "%s", problem);
}

QzJointKind kindOf(b2Joint* joint) { return QzJointRecord(joint)->kind; }

int jointIsAlive(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    const auto& liveness = static_cast<QzJointObject*>(luaL_checkudata(L, arg[1], kQzJointMT))->joint;
    lua_pushboolean(L, liveness && liveness->object);
    return 1;
}

int jointKind(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    lua_pushstring(L, QzJointKindName(kindOf(QzCheckJoint(L, arg[1]))));
    return 1;
}

// joint:setMotor(enabled, speed, maxTorqueOrForce)
int jointSetMotor(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    const bool enabled = QzCheckFlag(L, arg[2]);
    const float speed = QzCheckFinite(L, arg[3]) * linearScale(kindOf(joint));
    const float maxMotor = QzCheckFinite(L, arg[4]) * (rotates(kindOf(joint)) ? kTorqueToMetres : kQzToMetres);
    raise(L, QzSetJointMotor(joint, enabled, speed, maxMotor));
    return 0;
}

// joint:setLimits(enabled, lower, upper)
int jointSetLimits(lua_State* L) {
    const QzArgsFromTop arg(L, 4);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    const bool enabled = QzCheckFlag(L, arg[2]);
    const float scale = linearScale(kindOf(joint));
    raise(L, QzSetJointLimits(joint, enabled, QzCheckFinite(L, arg[3]) * scale, QzCheckFinite(L, arg[4]) * scale));
    return 0;
}

int jointSetTarget(lua_State* L) {
    const QzArgsFromTop arg(L, 3);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    raise(L, QzSetJointTarget(joint, QzCheckVector(L, arg[2], kQzToMetres)));
    return 0;
}

// The joint's angle (radians) or its length or translation (screen units).
int jointPosition(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    lua_pushnumber(L, QzJointPosition(joint) / linearScale(kindOf(joint)));
    return 1;
}

int jointSpeed(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    lua_pushnumber(L, QzJointSpeed(joint) / linearScale(kindOf(joint)));
    return 1;
}

// The two anchors in world screen units: ax, ay, bx, by.
int jointAnchors(lua_State* L) {
    const QzArgsFromTop arg(L, 1);
    b2Joint* joint = QzCheckJoint(L, arg[1]);
    QzPushVector(L, joint->GetAnchorA(), kQzToScreen);
    return 2 + QzPushVector(L, joint->GetAnchorB(), kQzToScreen);
}

int jointGC(lua_State* L) {
    static_cast<QzJointObject*>(luaL_checkudata(L, 1, kQzJointMT))->joint.reset();
    return 0;
}

const luaL_Reg kJointFunctions[] = {
    {"isAlive", QzPhysicsFunction<jointIsAlive>},
    {"kind", QzPhysicsFunction<jointKind>},
    {"setMotor", QzPhysicsFunction<jointSetMotor>},
    {"setLimits", QzPhysicsFunction<jointSetLimits>},
    {"setTarget", QzPhysicsFunction<jointSetTarget>},
    {"position", QzPhysicsFunction<jointPosition>},
    {"speed", QzPhysicsFunction<jointSpeed>},
    {"anchors", QzPhysicsFunction<jointAnchors>},
    {nullptr, nullptr},
};

}  // namespace

const luaL_Reg kQzWorldJointFunctions[] = {
    {"createJoint", QzPhysicsFunction<worldCreateJoint>},
    {"destroyJoint", QzPhysicsFunction<worldDestroyJoint>},
    {nullptr, nullptr},
};

const QzPhysicsClass kQzJointClass = {"Joint", kQzJointMT, kJointFunctions, QzPhysicsFunction<jointGC>};
