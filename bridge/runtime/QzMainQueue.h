// The main-thread queue: work posted from any thread runs later on the main thread.
#ifndef QZ_MAIN_QUEUE_H
#define QZ_MAIN_QUEUE_H

#include <cstddef>
#include <functional>

// The thread that calls QzMainQueueBecomeMainThread (or, until then, the first thread that
// asks) is the main thread. Its loop runs QzMainQueueRunPending regularly.
void QzMainQueueBecomeMainThread();
bool QzIsMainThread();

// Queues work for the main thread without waiting; also when called on the main thread.
void QzPerformOnMainThread(std::function<void()> work);
// Runs the work queued so far, in posting order, and returns how many items ran. Work
// queued while it runs waits for the next call. Only the main thread runs the queue.
size_t QzMainQueueRunPending();

#endif
