// Where two touching fixtures meet and how hard they came together, for the began-contact callback.
#ifndef QZ_CONTACT_REPORT_H
#define QZ_CONTACT_REPORT_H

#include <box2d/box2d.h>

// A contact as it begins. Sensor contacts have no points, a zero normal and no impulse.
struct QzContactReport {
    int32 pointCount = 0;
    b2Vec2 points[b2_maxManifoldPoints];  // world metres
    b2Vec2 normal{0.0f, 0.0f};            // from fixture A towards fixture B
    // The impulse (kg m/s) along the normal that stops the two bodies approaching at the
    // middle of the contact points, with the bounce of the contact's restitution added:
    // Box2D's solver has not run yet when a contact begins, so this is the impulse the hit
    // asks for, measured from the bodies' masses and velocities, not the one applied.
    float impulse = 0.0f;
};

QzContactReport QzReportContact(b2Contact* contact);

#endif
