// The engine host: the engine state around one Lua interpreter, its start-up and shutdown,
// the game lifecycle, frame and input calls, and the one error report.
#ifndef QZ_ENGINE_H
#define QZ_ENGINE_H

#include <cstdint>

#include <lua.h>

#include "QzGameArchive.h"

struct QzPoolAllocator;
struct QzDatabase;

typedef void (*QzHostCallback)(void* context);
typedef int32_t (*QzExternalFunctionCallback)(void* context, lua_State* L);
typedef void (*QzProblemCallback)(void* context, const char* message);

// The engine state. Zero-filled by Qz_NewState, freed by Qz_DestroyState. The host writes
// the callback fields directly, before Qz_Init or at any later time.
struct QzState {
    lua_State* L;                 // owned
    QzPoolAllocator* allocator;   // owned; serves L only when the state was made with the pool
    QzDatabase* store;            // owned; null when Qz_Init got no save path
    QzHostCallback loadingWillStart;
    QzHostCallback loadingWillEnd;
    QzHostCallback gameDidEnd;
    void* callbackContext;        // borrowed; handed to the three callbacks above
    QzExternalFunctionCallback callExternalFunction;
    void* externalFunctionContext;  // borrowed
    // How many lines Qz_Report_Error has printed for this state, so that a driver can tell
    // whether anything went wrong.
    int32_t errorsReported;
    // Hears of each problem as it is reported, with callbackContext: each error
    // Qz_Report_Error prints, and each problem of the game the engine script reports through
    // callbacks.problemReported. It counts nothing; the message lives only for the call.
    QzProblemCallback problemReported;
};

// The exception thrown when the interpreter raises an error outside any protected call
// (the unprotected table reads below, for example). The interpreter's stack is emptied.
struct QzLuaPanicError;

// --- Start-up and shutdown ---

QzState* Qz_NewState(int usePoolAllocator);
int Qz_Init(QzState* state, const char* enginePath, const char* savePath);
int Qz_InitFromBuffer(QzState* state, const char* buffer, size_t length, const char* savePath);
void Qz_LoadLibs(lua_State* L);
void Qz_Report_Error(QzState* state);
void Qz_DestroyState(QzState* state);
int64_t Qz_TotalBytesUsed(QzState* state);

// --- Game lifecycle ---

int Qz_LoadGame(QzState* state, const char* projectPath);
void Qz_Play(QzState* state);
void Qz_SystemInitiatedPause(QzState* state);
void Qz_BehaviorInitiatedPause(QzState* state);
int Qz_Stop(QzState* state);
int Qz_Reset(QzState* state);


// --- Display, resolution and scene ---
// The four table reads are unprotected: a missing intermediate table throws QzLuaPanicError.

int32_t Qz_GetTargetDisplayResolution(QzState* state);
int32_t Qz_GetResolutionIndependence(QzState* state);
int Qz_IsPluginEnabled(QzState* state, const char* pluginName);
void Qz_GetIntendedDisplaySize(QzState* state, int32_t* width, int32_t* height);
void Qz_SizeForResolution(QzState* state, int32_t resolution, int32_t* width, int32_t* height,
                          int32_t* orientation);
int Qz_SetDeviceOrientation(QzState* state, int32_t orientation, bool flag);
int32_t Qz_GetInterfaceOrientation(QzState* state);
void Qz_SetScreenSize(QzState* state, int32_t width, int32_t height);
void Qz_SetShouldChangeToScene(QzState* state, const char* sceneName);
float Qz_GetVolume(QzState* state);
int Qz_SetVolume(QzState* state, float volume);

// --- Frame ---

int Qz_Update(QzState* state, float secondsSinceLastFrame);
int Qz_Render(QzState* state);

// --- Input ---

int Qz_KeyDown(QzState* state, const char* keyName);
int Qz_KeyUp(QzState* state, const char* keyName);
int Qz_MouseDown(QzState* state, float x, float y);
int Qz_MouseMoved(QzState* state, float x, float y);
int Qz_MouseUp(QzState* state, float x, float y);
int Qz_TouchDown(QzState* state, int32_t touch, int32_t second, float x, float y);
int Qz_TouchMoved(QzState* state, int32_t touch, float x, float y);
int Qz_TouchUp(QzState* state, int32_t touch, int32_t second, float x, float y);
int Qz_TouchCancel(QzState* state);
int Qz_Accelerated(QzState* state, float x, float y, float z);
int Qz_RaiseExternalEvent(QzState* state, const char* eventName, const char* const* arguments,
                          int32_t count);

// The error value of the last failed silent call (lifecycle, frame and input calls, and
// the steps of Qz_LoadGame), or null. Silent calls do not report; they keep their error
// here instead of on the interpreter's stack: a number as its text, an error value without
// text as a text naming its type. The text lives until the next silent failure.
const char* Qz_LastSilentError(QzState* state);
void Qz_ClearLastSilentError(QzState* state);

#endif
