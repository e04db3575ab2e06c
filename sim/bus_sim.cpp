#include "bus_sim.h"

#include <poll.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <sstream>

namespace s470::sim {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kModuleBaud = 115200;
constexpr uint8_t kRefused = 0x15;

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (*end != '\0' || v > max || text[0] == '-') return false;
  *value = v;
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.emplace_back();
  return parts;
}

}  // namespace

std::vector<uint8_t> IdentityBlock(const SimModule& m) {
  std::vector<uint8_t> block(48);
  block[0] = m.bootloader ? 0x01 : 0x02;
  // Bytes the analysis does not read carry values of their own, so that a misplaced read shows.
  for (int i = 1; i < 24; ++i) block[i] = static_cast<uint8_t>(0x30 + i);
  for (size_t i = 0; i < 8 && i < m.name.size(); ++i) block[24 + i] = static_cast<uint8_t>(m.name[i]);
  block[32] = m.hardware;
  block[33] = m.software;
  block[34] = 0xA5;
  block[35] = 0x5A;
  block[36] = static_cast<uint8_t>(m.serial >> 24);
  block[37] = static_cast<uint8_t>(m.serial >> 16);
  block[38] = static_cast<uint8_t>(m.serial >> 8);
  block[39] = static_cast<uint8_t>(m.serial);
  for (int i = 40; i < 48; ++i) block[i] = static_cast<uint8_t>(0xE0 + i);
  return block;
}

bool ParseBusFault(const std::string& text, BusFault* fault) {
  const std::vector<std::string> parts = Split(text, ':');
  if (parts.empty()) return false;
  static const struct {
    const char* name;
    BusFaultKind kind;
    size_t maxArgs;
  } kKinds[] = {
      {"noack", BusFaultKind::kNoAck, 1},
      {"wrongnumberack", BusFaultKind::kWrongNumberAck, 1},
      {"wrongack", BusFaultKind::kWrongAck, 2},
      {"truncated", BusFaultKind::kTruncated, 2},
      {"neverquiet", BusFaultKind::kNeverQuiet, 0},
      {"hangup", BusFaultKind::kHangUp, 1},
  };
  for (const auto& k : kKinds) {
    if (parts[0] != k.name) continue;
    if (parts.size() - 1 > k.maxArgs) return false;
    BusFault f;
    f.kind = k.kind;
    unsigned long v = 0;
    if (k.kind == BusFaultKind::kHangUp) {
      if (parts.size() > 1) {
        if (!ParseNumber(parts[1], 1000000, &v)) return false;
        f.after = static_cast<int>(v);
      }
    } else {
      if (parts.size() > 1) {
        if (!ParseNumber(parts[1], 1000, &v)) return false;
        f.module = static_cast<int>(v);
      }
      if (parts.size() > 2) {
        if (!ParseNumber(parts[2], 1000000, &v)) return false;
        f.times = static_cast<int>(v);
      }
    }
    *fault = f;
    return true;
  }
  return false;
}

bool ParseSimModule(const std::string& text, SimModule* module) {
  const std::vector<std::string> parts = Split(text, ',');
  if (parts.size() < 4 || parts.size() > 5 || parts[0].empty() || parts[0].size() > 8) return false;
  SimModule m;
  m.name = parts[0];
  unsigned long hw = 0, sw = 0, serial = 0;
  if (!ParseNumber(parts[1], 0xFF, &hw) || !ParseNumber(parts[2], 0xFF, &sw) ||
      !ParseNumber(parts[3], 0xFFFFFFFFul, &serial))
    return false;
  m.hardware = static_cast<uint8_t>(hw);
  m.software = static_cast<uint8_t>(sw);
  m.serial = static_cast<uint32_t>(serial);
  if (parts.size() == 5) {
    if (parts[4] != "boot") return false;
    m.bootloader = true;
  }
  *module = m;
  return true;
}

BusSim::BusSim(SimLine& line) : line_(line) {}

BusSim::~BusSim() { Stop(); }

void BusSim::AddModule(const SimModule& module) {
  std::lock_guard<std::mutex> lock(mutex_);
  modules_.push_back({module});
}

void BusSim::AddFault(const BusFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (fault.kind == BusFaultKind::kNeverQuiet) neverQuiet_ = true;
  if (fault.kind == BusFaultKind::kHangUp) hangUpAfter_ = fault.after;
  faults_.push_back(fault);
}

void BusSim::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  // The sim paces by itself, against the moment each byte was due, so that late wake-ups do
  // not add up over a long answer.
  line_.SetPacing(false);
  thread_ = std::thread([this] { Serve(); });
}

void BusSim::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::vector<int> BusSim::Numbers() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<int> numbers;
  for (const Module& m : modules_) numbers.push_back(m.lastNumber);
  return numbers;
}

int BusSim::IdentifyCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return identifyCount_;
}

void BusSim::Serve() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // wake-ups close to the line's byte times
  while (!stop_) {
    if (line_.hungUp()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (neverQuiet_) Babble();
    const int byte = line_.ReadByte(neverQuiet_ ? 1 : 5);
    if (byte < 0) continue;
    const Clock::time_point at = Clock::now();
    // Judged now: the PC changes the line settings only after the echo of this byte.
    const LineState settings = line_.Settings();
    ++received_;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Handle(static_cast<uint8_t>(byte), settings, at);
    }
    if (hangUpAfter_ >= 0 && received_ >= hangUpAfter_) line_.HangUp();
  }
}

void BusSim::Babble() {
  const Clock::time_point now = Clock::now();
  if (now - lastBabble_ < std::chrono::milliseconds(2) || line_.Settings().baud != kModuleBaud)
    return;
  // Only while the PC side takes the bytes: a full buffer would block the simulator.
  pollfd p{line_.masterFd(), POLLOUT, 0};
  if (poll(&p, 1, 0) != 1 || (p.revents & POLLOUT) == 0) return;
  lastBabble_ = now;
  const uint8_t noise = 0x55;
  line_.Write(&noise, 1);
}

void BusSim::Send(const std::vector<uint8_t>& bytes, Clock::time_point at) {
  if (!pacing_) {
    line_.Write(bytes);
    return;
  }
  const uint32_t baud = line_.Settings().baud != 0 ? line_.Settings().baud : kModuleBaud;
  const auto byteTime = std::chrono::nanoseconds(11'000'000'000LL / baud);
  if (lineFree_ < at) lineFree_ = at;
  for (uint8_t b : bytes) {
    lineFree_ += byteTime;
    std::this_thread::sleep_until(lineFree_);
    line_.Write(&b, 1);
  }
}

bool BusSim::Strikes(BusFaultKind kind, int module) {
  for (BusFault& f : faults_) {
    if (f.kind != kind || f.module != module || f.times == 0) continue;
    if (f.times > 0) --f.times;
    return true;
  }
  return false;
}

void BusSim::Handle(uint8_t byte, const LineState& settings, Clock::time_point at) {
  if (settings.baud != kModuleBaud) {
    // The gauge's side of the line: logged, not answered.
    attention_ = false;
    pending_ = -1;
    return;
  }
  Send({byte}, at);  // the echo, before any answer
  if (byte == 0x00 && settings.parity == SimParity::kMark) {
    attention_ = true;
    pending_ = -1;
    return;
  }
  if (attention_ && pending_ < 0 && byte == 0x81 && settings.parity == SimParity::kSpace) {
    // Bus start: the numbering begins afresh.
    for (Module& m : modules_) m.number = -1;
    attention_ = false;
    lastIdentified_ = -1;
    return;
  }
  if (pending_ < 0) {
    pending_ = byte;
    return;
  }
  const uint8_t command = static_cast<uint8_t>(pending_);
  pending_ = -1;
  const bool called = attention_;
  attention_ = false;
  if (static_cast<uint8_t>(command ^ byte) != 0xFF) return;  // not a command pair
  if (command == 0x02) {
    if (called) Identify();
  } else if (command >= 0x40 && command < 0xC0) {
    Numbering(command - 0x40);
  }
}

void BusSim::Identify() {
  ++identifyCount_;
  lastIdentified_ = -1;
  int index = -1;
  for (size_t i = 0; i < modules_.size(); ++i)
    if (modules_[i].number < 0) {
      index = static_cast<int>(i);
      break;
    }
  if (index < 0) return;  // every module has its number: silence
  const Clock::time_point now = Clock::now();
  if (Strikes(BusFaultKind::kWrongAck, index)) {
    Send({kRefused}, now);
    return;
  }
  const SimModule& module = modules_[index].identity;
  std::vector<uint8_t> answer{0x00};
  const std::vector<uint8_t> block = IdentityBlock(module);
  // In bootloader mode only the first half comes.
  const size_t length = module.bootloader ? 24 : block.size();
  answer.insert(answer.end(), block.begin(), block.begin() + static_cast<long>(length));
  if (!module.bootloader && Strikes(BusFaultKind::kTruncated, index)) answer.resize(1 + 24 + 6);
  if (!module.bootloader) lastIdentified_ = index;
  Send(answer, now);
}

void BusSim::Numbering(int n) {
  const int index = lastIdentified_;
  lastIdentified_ = -1;
  if (index < 0) return;
  if (Strikes(BusFaultKind::kNoAck, index)) return;
  const Clock::time_point now = Clock::now();
  if (Strikes(BusFaultKind::kWrongNumberAck, index)) {
    Send({kRefused}, now);
    return;
  }
  modules_[index].number = n;
  modules_[index].lastNumber = n;
  Send({0x00}, now);
}

}  // namespace s470::sim
