#include "gauge_sim.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <iterator>

namespace s470::sim {

namespace {

constexpr uint8_t kWake = 0xC9;
constexpr uint8_t kEcho = 0x8D;
constexpr uint8_t kCr = 0x0D;
constexpr int kBlocks = 48;
constexpr int kBlockBytes = 16;
constexpr double kReadyAfterConfirmMs = 50;  // the gauge's own preparation times
constexpr double kReadyAfterLeadInMs = 50;
constexpr double kIdleMs = 1000;             // a session left alone this long is dropped
constexpr double kByteMs = 11000.0 / 4800;   // 11 bits a byte at 4800 baud

void SleepUntil(const SimLine& line, double ms) {
  const double wait = ms - line.NowMs();
  if (wait > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(wait));
}

std::string Hex(uint8_t b) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", b);
  return text;
}

}  // namespace

uint8_t GaugeChecksum(const uint8_t* block16) {
  uint8_t sum = 0;
  for (int i = 0; i < kBlockBytes; ++i) sum = static_cast<uint8_t>(sum + block16[i]);
  return static_cast<uint8_t>(~sum);
}

struct GaugeSim::Session {
  Session(SimLine& l, const std::atomic<bool>& s) : line(l), stop(s) {}
  SimLine& line;
  const std::atomic<bool>& stop;
  State state = State::kAsleep;
  int prev = -1;             // the byte before, for the two-byte commands
  uint8_t last3[3] = {};     // for the lead-in
  int pairs = 0;             // wake-up pairs seen while asleep
  int confirmations = 0;
  double firstConfirmMs = 0;
  bool leadIn = false;
  double leadInMs = 0;
  bool writing = false;
  int block = 0;
  std::vector<uint8_t> pending;
  GaugeMemory staging{};
  int writeBytes = 0;
  Chatter chatter = Chatter::kNone;
  double chatterEndMs = -1;  // < 0: for ever
  size_t chatterIndex = 0;
  double lastActivityMs = 0;
  double rxClockMs = -1e9;   // when the last received byte had arrived whole
  double txClockMs = -1e9;   // when the last sent byte has left whole
};

GaugeSim::GaugeSim(GaugeConfig config) : config_(std::move(config)) {}

GaugeMemory GaugeSim::Memory() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return memory_;
}

void GaugeSim::SetMemory(const GaugeMemory& memory) {
  std::lock_guard<std::mutex> lock(mutex_);
  memory_ = memory;
}

bool GaugeSim::UseMemoryFile(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::ifstream in(path, std::ios::binary);
  if (in) {
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (bytes.size() != kGaugeMemoryBytes) return false;
    std::copy(bytes.begin(), bytes.end(), memory_.begin());
  } else {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(memory_.data()), kGaugeMemoryBytes);
    if (!out) return false;
  }
  memoryFile_ = path;
  return true;
}

GaugeStats GaugeSim::Stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stats_;
}

bool GaugeSim::FaultsActive() const {
  return config_.faults.sessions == 0 || handshakeNumber_ <= config_.faults.sessions;
}

void GaugeSim::Violation(const std::string& what) {
  std::lock_guard<std::mutex> lock(mutex_);
  stats_.violations.push_back(what);
}

void GaugeSim::Send(Session& s, const std::vector<uint8_t>& bytes) {
  for (uint8_t b : bytes) {
    if (config_.pace || s.chatter != Chatter::kNone) {
      // A burst goes out back to back; the clock restarts only after a real pause.
      const double now = s.line.NowMs();
      if (s.txClockMs < now - 2.0) s.txClockMs = now;
      s.txClockMs += kByteMs;
      SleepUntil(s.line, s.txClockMs);
    }
    s.line.Write(&b, 1);
  }
  s.lastActivityMs = s.line.NowMs();
}

void GaugeSim::StartChatter(Session& s, Chatter kind) {
  s.chatter = kind;
  s.chatterIndex = 0;
  s.chatterEndMs =
      config_.faults.chatterMs > 0 ? s.line.NowMs() + config_.faults.chatterMs : -1.0;
}

bool GaugeSim::SendBlocks(Session& s) {
  const GaugeMemory memory = Memory();
  const GaugeFaults& f = config_.faults;
  const bool faulty = FaultsActive();
  for (int block = 1; block <= kBlocks; ++block) {
    if (s.stop.load()) return false;
    if (faulty && f.slowBlock == block && f.slowMs > 0)
      std::this_thread::sleep_for(std::chrono::milliseconds(f.slowMs));
    std::vector<uint8_t> bytes(memory.begin() + (block - 1) * kBlockBytes,
                               memory.begin() + block * kBlockBytes);
    uint8_t checksum = GaugeChecksum(bytes.data());
    if (faulty && f.badChecksumBlock == block) checksum = static_cast<uint8_t>(checksum + 1);
    bytes.push_back(checksum);
    if (faulty && f.hangUpBlock == block) {
      Send(s, std::vector<uint8_t>(bytes.begin(), bytes.begin() + kBlockBytes / 2));
      s.line.HangUp();
      return true;
    }
    Send(s, bytes);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++stats_.readsServed;
  }
  s.state = State::kAfterBlocks;
  s.writing = false;
  return false;
}

bool GaugeSim::TakeWriteByte(Session& s, uint8_t b) {
  const GaugeFaults& f = config_.faults;
  const bool faulty = FaultsActive();
  ++s.writeBytes;
  s.pending.push_back(b);
  const int block = s.block + 1;
  if (faulty && f.hangUpBlock == block && s.pending.size() == kBlockBytes / 2) {
    s.line.HangUp();
    return true;
  }
  if (s.pending.size() < kBlockBytes + 1) return false;
  s.block = block;
  const bool good = GaugeChecksum(s.pending.data()) == s.pending[kBlockBytes];
  if (faulty && f.slowBlock == block && f.slowMs > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(f.slowMs));
  if (!good || (faulty && f.refuseBlock == block)) {
    if (!good) Violation("write block " + std::to_string(block) + " with a wrong checksum");
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++stats_.refusals;
    }
    Send(s, {0x00});
    s.state = State::kAsleep;  // the transfer is over; what came so far is dropped
    return false;
  }
  std::copy(s.pending.begin(), s.pending.begin() + kBlockBytes,
            s.staging.begin() + (block - 1) * kBlockBytes);
  s.pending.clear();
  Send(s, {0x01});
  if (block == kBlocks) s.state = State::kAfterBlocks;
  return false;
}

bool GaugeSim::HandleByte(Session& s, uint8_t b, double arrivalMs) {
  if (s.chatter != Chatter::kNone) return false;  // a talking gauge does not listen
  const GaugeFaults& f = config_.faults;
  const int prev = s.prev;
  s.prev = b;
  const bool pair = prev == kWake && b == kEcho;
  if (pair) s.prev = -1;  // a pair's 0x8D starts nothing new
  s.last3[0] = s.last3[1];
  s.last3[1] = s.last3[2];
  s.last3[2] = b;

  auto wake = [&] {
    if (f.silent) return;
    const int handshake = handshakeNumber_ + 1;
    const bool faulty = f.sessions == 0 || handshake <= f.sessions;
    if (faulty && f.chatter == Chatter::kInsteadOfEcho) {
      ++handshakeNumber_;
      StartChatter(s, Chatter::kInsteadOfEcho);
      return;
    }
    if (++s.pairs < (faulty ? f.wakeOnPair : 1)) return;
    ++handshakeNumber_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++stats_.handshakes;
    }
    if (faulty && !f.beforeEcho.empty()) Send(s, f.beforeEcho);
    Send(s, {kEcho});
    s.state = State::kEchoed;
    s.pairs = 0;
    s.confirmations = 0;
    s.leadIn = false;
  };
  auto command = [&](const char* name) {
    if (!s.leadIn) {
      Violation(std::string(name) + " command without lead-in");
      return false;
    }
    if (arrivalMs - s.leadInMs < kReadyAfterLeadInMs) {
      Violation(std::string(name) + " command too soon after the lead-in");
      s.leadIn = false;
      return false;
    }
    s.leadIn = false;
    return true;
  };

  switch (s.state) {
    case State::kAsleep:
      if (pair) wake();
      else if (b != kWake) Violation("byte " + Hex(b) + " while asleep");
      break;

    case State::kEchoed:
      if (pair) {
        Send(s, {kEcho});  // the host missed the echo
      } else if (b == kEcho) {
        if (s.confirmations == 1 && arrivalMs - s.firstConfirmMs < kReadyAfterConfirmMs) {
          Violation("second 0x8D too soon after the first");
        } else if (++s.confirmations == 1) {
          s.firstConfirmMs = arrivalMs;
        } else {
          s.state = State::kAwake;
          if (FaultsActive() && f.chatter == Chatter::kAfterHandshake)
            StartChatter(s, Chatter::kAfterHandshake);
        }
      } else if (b != kWake) {
        Violation("byte " + Hex(b) + " instead of the confirmation");
      }
      break;

    case State::kAwake:
      if (pair) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ++stats_.identifications;
        }
        std::vector<uint8_t> line(config_.identification.begin(), config_.identification.end());
        const bool faulty = FaultsActive();
        if (faulty && f.chatter == Chatter::kEndlessIdentification) {
          Send(s, line);
          StartChatter(s, Chatter::kEndlessIdentification);
          break;
        }
        if (!(faulty && f.identificationWithoutCr)) line.push_back(kCr);
        Send(s, line);
      } else if (s.last3[0] == 0x10 && s.last3[1] == 0x0D && s.last3[2] == 0x13) {
        s.leadIn = true;
        s.leadInMs = arrivalMs;
      } else if (prev == 0xC2 && b == 0x3D) {
        if (command("read")) return SendBlocks(s);
      } else if (prev == 0xC4 && b == 0x3B) {
        if (command("write")) {
          s.state = State::kReceiving;
          s.writing = true;
          s.block = 0;
          s.pending.clear();
          s.writeBytes = 0;
          s.staging = Memory();
        }
      } else if (prev == 0xC1 && b == 0x3E) {
        s.state = State::kAsleep;
      } else if (b != kWake && b != 0x10 && b != 0x0D && b != 0xC2 && b != 0xC4 && b != 0xC1) {
        Violation("byte " + Hex(b) + " out of protocol while awake");
      }
      break;

    case State::kReceiving:
      return TakeWriteByte(s, b);

    case State::kAfterBlocks:
      if (s.writing) ++s.writeBytes;
      if (pair) {
        s.state = State::kAsleep;
        wake();
      } else if (prev == 0xC1 && b == 0x3E) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (s.writing) {
          memory_ = s.staging;
          ++stats_.writesCompleted;
          stats_.lastWriteBytes = s.writeBytes - 2;
          if (!memoryFile_.empty()) {
            std::ofstream out(memoryFile_, std::ios::binary | std::ios::trunc);
            out.write(reinterpret_cast<const char*>(memory_.data()), kGaugeMemoryBytes);
          }
        } else {
          ++stats_.readsEnded;
        }
        s.state = State::kAsleep;
      } else if (b != 0xC1 && b != kWake) {
        Violation("byte " + Hex(b) + " after the last block");
      }
      break;
  }
  return false;
}

bool GaugeSim::Serve(SimLine& line, const std::atomic<bool>& stop) {
  line.SetPacing(false);  // the gauge paces its own bursts, without drift
  Session s(line, stop);
  s.lastActivityMs = line.NowMs();
  if (config_.faults.chatter == Chatter::kFromStart) StartChatter(s, Chatter::kFromStart);
  const LineState wanted{4800, SimParity::kNone, true};

  while (!stop.load()) {
    if (line.hungUp()) return true;
    if (s.chatter != Chatter::kNone) {
      if (s.chatterEndMs >= 0 && line.NowMs() > s.chatterEndMs) {
        s.chatter = Chatter::kNone;  // the gauge gives up and goes back to sleep
        s.state = State::kAsleep;
        s.pairs = 0;
        s.prev = -1;
        s.leadIn = false;
      } else {
        // Only as fast as the host takes it: a full line must not block the gauge.
        pollfd p{line.masterFd(), POLLOUT, 0};
        if (poll(&p, 1, 0) == 1 && (p.revents & POLLOUT) != 0) {
          const std::string& id = config_.identification;
          const uint8_t filler = s.chatter == Chatter::kEndlessIdentification && !id.empty()
                                     ? static_cast<uint8_t>(id[s.chatterIndex++ % id.size()])
                                     : 0x55;
          Send(s, {filler});
        } else {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
      }
    }
    const int b = line.ReadByte(s.chatter != Chatter::kNone ? 0 : 10);
    double now = line.NowMs();
    if (b < 0) {
      if ((s.state != State::kAsleep || s.pairs != 0) && now - s.lastActivityMs > kIdleMs) {
        s.state = State::kAsleep;
        s.pairs = 0;
        s.prev = -1;
        s.leadIn = false;
      }
      continue;
    }
    double arrival = now;
    if (config_.pace) {
      // A byte read within 2 ms of the one before belongs to the same burst.
      const double start = now - s.rxClockMs <= 2.0 ? s.rxClockMs : now;
      arrival = start + kByteMs;
      SleepUntil(line, arrival);
      s.rxClockMs = arrival;
    }
    const LineState applied = line.Settings();
    if (applied != wanted) {
      Violation("byte " + Hex(static_cast<uint8_t>(b)) + " at " + applied.ToString());
      continue;
    }
    s.lastActivityMs = arrival;
    if (HandleByte(s, static_cast<uint8_t>(b), arrival)) return true;
  }
  return false;
}

GaugeSimRunner::GaugeSimRunner(GaugeSim& sim, std::string linkPath)
    : sim_(sim), link_(std::move(linkPath)) {
  std::promise<void> linked;
  std::future<void> ready = linked.get_future();
  thread_ = std::thread([this, &linked] {
    bool first = true;
    while (!stop_.load()) {
      std::unique_ptr<SimLine> line;
      try {
        line = std::make_unique<SimLine>(link_);
      } catch (...) {
        if (first) linked.set_exception(std::current_exception());
        return;
      }
      {
        std::lock_guard<std::mutex> lock(mutex_);
        current_ = line.get();
      }
      if (first) linked.set_value();
      first = false;
      const bool hungUp = sim_.Serve(*line, stop_);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        const std::vector<LogEntry> log = line->Log();
        past_.insert(past_.end(), log.begin(), log.end());
        current_ = nullptr;
        line.reset();
      }
      if (!hungUp) break;
      ++hangUps_;
    }
  });
  try {
    ready.get();
  } catch (...) {
    thread_.join();
    throw;
  }
}

GaugeSimRunner::~GaugeSimRunner() { Stop(); }

void GaugeSimRunner::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<LogEntry> GaugeSimRunner::Log() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<LogEntry> log = past_;
  if (current_ != nullptr) {
    const std::vector<LogEntry> now = current_->Log();
    log.insert(log.end(), now.begin(), now.end());
  }
  return log;
}

std::vector<uint8_t> GaugeSimRunner::Bytes(char direction) const {
  std::vector<uint8_t> out;
  for (const LogEntry& e : Log())
    if (e.direction == direction) out.push_back(e.byte);
  return out;
}

}  // namespace s470::sim
