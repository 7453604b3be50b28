#pragma once

// Hand-offs between threads that pass through Qt's own locks (the thread
// pool's queue, the event queue). Qt's libraries are not built with
// ThreadSanitizer, so it cannot see those locks; these calls tell it. In
// every other build they compile to nothing.
namespace ThreadHandOff {

// True in a ThreadSanitizer build.
bool isWatched();

// What this thread has done so far happens before a later acquire(token).
void release(const void *token);
void acquire(const void *token);

// From now on every event the GUI thread delivers acquires what any thread
// released before posting to it (queued signals, deferred deletes). Call on
// the GUI thread once the application object exists.
void watchEventQueue();

} // namespace ThreadHandOff
