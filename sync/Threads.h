#pragma once

#include "sync/SyncTypes.h"

// Starts a joinable thread running start(arg) and stores its identifier in *thread. False when the
// platform refuses (then no thread exists and *thread is unchanged).
bool CreateThread(ThreadHandle* thread, void* (*start)(void*), void* arg);

// Waits for the thread to end. Every thread made by CreateThread is joined once by its owner.
bool JoinThread(ThreadHandle thread);

// Nothing to release on POSIX: threads are joined, never detached.
void CloseThread(ThreadHandle thread);

// Closes a descriptor (Windows: a handle). True when the close succeeded.
bool CloseHandle(long handle);

// Sleeps the full time even when signals interrupt it.
void SleepEx(unsigned milliseconds);
