// Making an OpenAL context current on the calling thread for one scope.
#ifndef QZ_AL_CONTEXT_SCOPE_H
#define QZ_AL_CONTEXT_SCOPE_H

#include <AL/alc.h>
#define AL_ALEXT_PROTOTYPES
#include <AL/alext.h>

// Makes `context` current on this thread alone (ALC_EXT_thread_local_context) and puts the
// thread's previous choice back at the end, so that work on a context of our own neither
// depends on nor changes what the rest of the program has made current.
class QzALContextScope {
public:
    explicit QzALContextScope(ALCcontext* context) : previous_(alcGetThreadContext()) { alcSetThreadContext(context); }
    ~QzALContextScope() { alcSetThreadContext(previous_); }
    QzALContextScope(const QzALContextScope&) = delete;
    QzALContextScope& operator=(const QzALContextScope&) = delete;

private:
    ALCcontext* previous_;  // borrowed
};

#endif
