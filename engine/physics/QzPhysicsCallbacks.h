// The script calls made from inside Box2D: pushing fixture objects and the two collision globals.
#ifndef QZ_PHYSICS_CALLBACKS_H
#define QZ_PHYSICS_CALLBACKS_H

#include <lua.h>

class b2Body;
class b2Contact;
class b2Fixture;
class b2Joint;

// Push a new script object for the body, fixture or joint. An object whose record is already gone
// (one being destroyed) is pushed as a destroyed object: using it raises an error.
void pushBody(lua_State* L, const b2Body* body);
void pushFixture(lua_State* L, const b2Fixture* fixture);
void pushJoint(lua_State* L, const b2Joint* joint);

// Call the globals "fixtureCollisionBegan" and "fixtureCollisionEnded" with the two fixtures
// (a began contact adds its normal, impulse and points: see QzContactReport), in protected mode; an error (a missing global included) is discarded. The fixtures' world is
// locked during the call, so the script cannot create or destroy bodies or fixtures while
// Box2D is walking its contact lists.
void callCollisionBeganCallback(lua_State* L, b2Contact* contact);
void callCollisionEndedCallback(lua_State* L, b2Fixture* fixtureA, b2Fixture* fixtureB);

#endif
