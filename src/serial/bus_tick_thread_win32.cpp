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

VOID CALLBACK NoWork(ULONG_PTR) {}

}  // namespace

TickThreadHandle StartTickThread(int16_t port) {
  HANDLE thread = CreateThread(nullptr, 0, TickThreadProc,
                               reinterpret_cast<LPVOID>(static_cast<intptr_t>(port)), 0, nullptr);
  return reinterpret_cast<TickThreadHandle>(thread);
}

// Alertable, so that the close's wake-up call ends the pause at once.
void PauseBetweenTicks() { SleepEx(kTickMs, TRUE); }

void WakeTickThread(TickThreadHandle thread) {
  QueueUserAPC(NoWork, reinterpret_cast<HANDLE>(thread), 0);
}

void ReleaseTickThread(TickThreadHandle thread) { CloseHandle(reinterpret_cast<HANDLE>(thread)); }

}  // namespace s470
