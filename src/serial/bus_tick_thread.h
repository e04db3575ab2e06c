// The platform half of a bus port's tick thread: bus_tick_thread_win32.cpp (CreateThread,
// THREAD_PRIORITY_TIME_CRITICAL) and bus_tick_thread_posix.cpp (pthread).
#pragma once

#include <cstdint>

namespace s470 {

// A started tick thread; 0 for none.
using TickThreadHandle = uintptr_t;

// Runs RunTickThread(port) (bus_port.cpp) on a new thread that first raises itself to
// time-critical priority. 0 when no thread could be started.
TickThreadHandle StartTickThread(int16_t port);
// The pause between two ticks, on the tick thread: 50 ms. Where the platform allows it,
// WakeTickThread cuts it short so that a close does not wait for the rest of a pass.
void PauseBetweenTicks();
void WakeTickThread(TickThreadHandle thread);
// After the thread has cleared the start/stop flag: waits until it has ended, then releases it.
void ReleaseTickThread(TickThreadHandle thread);

// The body of every tick thread.
void RunTickThread(int16_t port);

// Tests put a starter of their own in place (one that fails, say); null restores the platform's.
using TickThreadStarter = TickThreadHandle (*)(int16_t port);
void SetTickThreadStarter(TickThreadStarter starter);

}  // namespace s470
