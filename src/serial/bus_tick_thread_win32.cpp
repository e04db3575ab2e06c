#include <windows.h>

#include "serial/bus_port.h"
#include "serial/bus_tick_thread.h"

namespace s470 {

namespace {

DWORD WINAPI TickThreadProc(LPVOID arg) {
  // Time-critical, so that ticks keep coming while the host's thread polls the port.
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
  RunTickThread(static_cast<int16_t>(reinterpret_cast<intptr_t>(arg)));
  return 0;
}

}  // namespace

TickThreadHandle StartTickThread(int16_t port) {
  DWORD id = 0;  // Windows 9x refuses a null thread-id pointer
  HANDLE thread = CreateThread(nullptr, 0, TickThreadProc,
                               reinterpret_cast<LPVOID>(static_cast<intptr_t>(port)), 0, &id);
  return reinterpret_cast<TickThreadHandle>(thread);
}

// A plain pause: a close waits at most one pass for the thread to see its running flag. (An
// APC to cut it short would need QueueUserAPC, which Windows 95 lacks.)
void PauseBetweenTicks() { Sleep(kTickMs); }

void WakeTickThread(TickThreadHandle /*thread*/) {}

// The thread has cleared the start/stop flag but may still be on its way out through this DLL's
// code: wait until it has ended, so that a host may free the DLL as soon as the export returns.
void ReleaseTickThread(TickThreadHandle thread) {
  WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace s470
