#include <pthread.h>
#include <sched.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "serial/bus_port.h"
#include "serial/bus_tick_thread.h"

namespace s470 {

namespace {

struct PosixTickThread {
  pthread_t thread{};
  int16_t port = 0;
  std::mutex mutex;
  std::condition_variable wake;
  bool woken = false;
};

thread_local PosixTickThread* t_self = nullptr;

void* TickThreadBody(void* arg) {
  t_self = static_cast<PosixTickThread*>(arg);
  // The nearest thing to time-critical; refused without the privilege, which is harmless here.
  sched_param param{};
  param.sched_priority = 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  RunTickThread(t_self->port);
  return nullptr;
}

}  // namespace

TickThreadHandle StartTickThread(int16_t port) {
  auto* t = new PosixTickThread;
  t->port = port;
  if (pthread_create(&t->thread, nullptr, TickThreadBody, t) != 0) {
    delete t;
    return 0;
  }
  return reinterpret_cast<TickThreadHandle>(t);
}

void PauseBetweenTicks() {
  if (t_self == nullptr) {
    SleepMs(kTickMs);
    return;
  }
  std::unique_lock<std::mutex> lock(t_self->mutex);
  t_self->wake.wait_for(lock, std::chrono::milliseconds(kTickMs), [] { return t_self->woken; });
}

void WakeTickThread(TickThreadHandle thread) {
  auto* t = reinterpret_cast<PosixTickThread*>(thread);
  if (t == nullptr) return;
  std::lock_guard<std::mutex> lock(t->mutex);
  t->woken = true;
  t->wake.notify_all();
}

void ReleaseTickThread(TickThreadHandle thread) {
  auto* t = reinterpret_cast<PosixTickThread*>(thread);
  if (t == nullptr) return;
  pthread_join(t->thread, nullptr);
  delete t;
}

}  // namespace s470
