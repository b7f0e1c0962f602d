// The points, normal and impulse of a contact that has just begun.
#include "QzContactReport.h"

namespace {

// The velocity of the body's material at the world point.
b2Vec2 velocityAt(const b2Body* body, const b2Vec2& point) {
    return body->GetLinearVelocity() + b2Cross(body->GetAngularVelocity(), point - body->GetWorldCenter());
}

float inverseMass(const b2Body* body) {
    const float mass = body->GetType() == b2_dynamicBody ? body->GetMass() : 0.0f;
    return mass > 0.0f ? 1.0f / mass : 0.0f;
}

float inverseInertia(const b2Body* body) {
    const float inertia = body->GetType() == b2_dynamicBody && !body->IsFixedRotation() ? body->GetInertia() : 0.0f;
    return inertia > 0.0f ? 1.0f / inertia : 0.0f;
}

// The impulse along the normal that brings the approach speed at the point to zero (one
// contact point, as Box2D's solver computes its normal mass), times one plus the restitution
// when the approach is fast enough for Box2D to bounce.
float approachImpulse(const b2Contact* contact, const b2Vec2& point, const b2Vec2& normal) {
    const b2Body* a = contact->GetFixtureA()->GetBody();
    const b2Body* b = contact->GetFixtureB()->GetBody();
    const float approach = -b2Dot(velocityAt(b, point) - velocityAt(a, point), normal);
    if (approach <= 0.0f) return 0.0f;
    const float turnA = b2Cross(point - a->GetWorldCenter(), normal);
    const float turnB = b2Cross(point - b->GetWorldCenter(), normal);
    const float resistance = inverseMass(a) + inverseMass(b) + inverseInertia(a) * turnA * turnA +
                             inverseInertia(b) * turnB * turnB;
    if (resistance <= 0.0f) return 0.0f;
    const float bounce = approach > contact->GetRestitutionThreshold() ? contact->GetRestitution() : 0.0f;
    return (1.0f + bounce) * approach / resistance;
}

}  // namespace

QzContactReport QzReportContact(b2Contact* contact) {
    QzContactReport report;
    if (contact->GetManifold()->pointCount == 0) return report;
    b2WorldManifold manifold;
    contact->GetWorldManifold(&manifold);
    report.pointCount = contact->GetManifold()->pointCount;
    report.normal = manifold.normal;
    b2Vec2 middle(0.0f, 0.0f);
    for (int32 index = 0; index < report.pointCount; ++index) {
        report.points[index] = manifold.points[index];
        middle += manifold.points[index];
    }
    middle *= 1.0f / static_cast<float>(report.pointCount);
    report.impulse = approachImpulse(contact, middle, report.normal);
    return report;
}
