#include "boot_sim.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "programming/bootloader_packet.h"

namespace s470::sim {

namespace {

using Clock = std::chrono::steady_clock;

const LineState kLine4800N{4800, SimParity::kNone, true};
const LineState kLine4800E{4800, SimParity::kEven, true};
const LineState kLine115200M{115200, SimParity::kMark, true};
const LineState kLine115200S{115200, SimParity::kSpace, true};

constexpr int kBlockSize = 64;
constexpr int kPacketSize = kBlockSize + 2;
constexpr int kPart1Bytes = 768;

struct Geometry {
  int start, count, size;
};
Geometry GeometryOf(int type) {
  return type == 11 ? Geometry{4, 27, 512} : Geometry{2, 6, 1024};
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
  if (text.empty() || text[0] == '-') return false;
  char* end = nullptr;
  const unsigned long v = std::strtoul(text.c_str(), &end, 0);
  if (*end != '\0' || v > max) return false;
  *value = v;
  return true;
}

// The 48-byte identity block of a module in its bootloader: serial number at 36..39.
std::vector<uint8_t> IdentityBlock(uint32_t serial, bool withSerial) {
  std::vector<uint8_t> block(48);
  block[0] = withSerial ? 0x02 : 0x01;
  for (int i = 1; i < 48; ++i) block[i] = static_cast<uint8_t>(0x40 + i);
  block[36] = static_cast<uint8_t>(serial >> 24);
  block[37] = static_cast<uint8_t>(serial >> 16);
  block[38] = static_cast<uint8_t>(serial >> 8);
  block[39] = static_cast<uint8_t>(serial);
  return block;
}

}  // namespace

bool ParseBootFault(const std::string& text, BootFault* fault) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ':');) parts.push_back(part);
  if (parts.empty()) return false;
  static const struct {
    const char* name;
    BootFaultKind kind;
    char first, second;  // what the arguments are: k block, c code, a cell, t times, - none
    bool firstNeeded;
  } kKinds[] = {
      {"silent", BootFaultKind::kSilent, '-', '-', false},
      {"lostecho", BootFaultKind::kLostEcho, 'k', '-', true},
      {"wrongecho", BootFaultKind::kWrongEcho, 'k', '-', true},
      {"writeerror", BootFaultKind::kWriteError, 'k', 'c', true},
      {"eraseerror", BootFaultKind::kEraseError, 'c', '-', false},
      {"readbackdiffers", BootFaultKind::kReadBackDiffers, 't', '-', false},
      {"readbackshort", BootFaultKind::kReadBackShort, 't', '-', false},
      {"unknowntype", BootFaultKind::kUnknownProcessor, 'c', '-', false},
      {"noserial", BootFaultKind::kNoSerial, '-', '-', false},
      {"stuckcell", BootFaultKind::kStuckCell, 'a', '-', true},
      {"cellrefused", BootFaultKind::kCellRefused, 'a', '-', true},
  };
  for (const auto& k : kKinds) {
    if (parts[0] != k.name) continue;
    const size_t allowed = (k.first != '-' ? 1u : 0u) + (k.second != '-' ? 1u : 0u);
    if (parts.size() - 1 > allowed || (k.firstNeeded && parts.size() < 2)) return false;
    BootFault f;
    f.kind = k.kind;
    f.code = k.kind == BootFaultKind::kWriteError         ? 0x03
             : k.kind == BootFaultKind::kUnknownProcessor ? 13
                                                          : 0x85;
    const char roles[2] = {k.first, k.second};
    for (size_t i = 1; i < parts.size(); ++i) {
      unsigned long v = 0;
      const char role = roles[i - 1];
      if (!ParseNumber(parts[i], role == 'c' ? 0xFF : role == 'a' ? 0xFFFF : 100000, &v))
        return false;
      if (role == 'k') f.block = static_cast<int>(v);
      if (role == 'c') f.code = static_cast<uint8_t>(v);
      if (role == 'a') f.cell = static_cast<uint16_t>(v);
      if (role == 't') f.times = static_cast<int>(v);
    }
    *fault = f;
    return true;
  }
  return false;
}

BootSim::BootSim(SimLine& line, const BootModule& module) : line_(line), module_(module) {
  const Geometry g = GeometryOf(module_.processorType);
  flash_.assign(static_cast<size_t>((g.start + g.count) * g.size), 0xFF);
  // Sector 1 holds the user cells.
  const size_t cells = static_cast<size_t>(g.size == 1024 ? 0x400 : 0x200);
  for (size_t a = cells; a < 0x800 && a < flash_.size(); ++a) flash_[a] = module_.cellFill;
  part1_.assign(kPart1Bytes, 0);
  security_.assign(32, 0);
}

BootSim::~BootSim() {
  Stop();
}

void BootSim::AddFault(const BootFault& fault) {
  std::lock_guard<std::mutex> lock(mutex_);
  faults_.push_back(fault);
}

void BootSim::KeepFlashIn(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  flashPath_ = path;
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> kept((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (kept.size() == flash_.size()) flash_ = kept;
  Save();
}

void BootSim::Start() {
  if (thread_.joinable()) return;
  stop_ = false;
  line_.SetPacing(false);  // paced here, against the moment each byte is due
  thread_ = std::thread([this] { Serve(); });
}

void BootSim::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void BootSim::SetOutput(Output output) {
  std::lock_guard<std::mutex> lock(mutex_);
  output_ = std::move(output);
}

void BootSim::Feed(uint8_t byte, const LineState& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  Handle(byte, line, Clock::now());
  FlushEchoes();
}

std::vector<uint8_t> BootSim::Flash() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return flash_;
}
std::vector<uint8_t> BootSim::Part1() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return part1_;
}
std::vector<uint8_t> BootSim::SecurityBits() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return security_;
}
std::vector<uint16_t> BootSim::CellWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return cellWrites_;
}
int BootSim::Resets() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return resets_;
}
int BootSim::Erases() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return erases_;
}

int32_t BootSim::Blocks() const {
  const Geometry g = GeometryOf(module_.processorType);
  return g.count * g.size / kBlockSize;
}
int32_t BootSim::StartAddress() const {
  const Geometry g = GeometryOf(module_.processorType);
  return g.start * g.size;
}

void BootSim::Serve() {
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);  // wake-ups close to the line's byte times
  // A module answers in real time however busy the machine is: where the system allows it, the
  // simulator's thread runs before ordinary ones (it sleeps or waits on the line, never spins).
  // Otherwise a late read could judge a byte by the line settings of the next port opening.
  sched_param realTime{};
  realTime.sched_priority = 1;
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &realTime);
  while (!stop_) {
    if (line_.hungUp()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    const int byte = line_.ReadByte(echoes_.empty() ? 5 : 0);
    if (byte < 0) {
      std::lock_guard<std::mutex> lock(mutex_);
      FlushEchoes();
      continue;
    }
    const Clock::time_point at = Clock::now();
    // Judged now: the PC changes the line settings only after the echo or answer it waits for.
    const LineState settings = line_.Settings();
    std::lock_guard<std::mutex> lock(mutex_);
    Handle(static_cast<uint8_t>(byte), settings, at);
  }
}

void BootSim::Save() const {
  if (flashPath_.empty()) return;
  std::ofstream out(flashPath_, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(flash_.data()),
            static_cast<std::streamsize>(flash_.size()));
}

const BootFault* BootSim::Strikes(BootFaultKind kind, int block, int cell) {
  for (BootFault& f : faults_) {
    if (f.kind != kind || f.times == 0) continue;
    if (block >= 0 && f.block != block) continue;
    if (cell >= 0 && f.cell != cell) continue;
    if (f.times > 0) --f.times;
    return &f;
  }
  return nullptr;
}

const BootFault* BootSim::Find(BootFaultKind kind) const {
  for (const BootFault& f : faults_)
    if (f.kind == kind && f.times != 0) return &f;
  return nullptr;
}

void BootSim::FlushEchoes() {
  if (echoes_.empty()) return;
  if (output_) {
    output_(echoes_, 0);
  } else {
    std::this_thread::sleep_until(lineFree_);
    line_.Write(echoes_);
  }
  echoes_.clear();
}

void BootSim::Answer(const std::vector<uint8_t>& bytes, int delayMs) {
  FlushEchoes();
  if (Find(BootFaultKind::kSilent) != nullptr) return;
  if (output_) {
    output_(bytes, delayMs);
    return;
  }
  const Clock::time_point now = Clock::now() + std::chrono::milliseconds(delayMs);
  if (lineFree_ < now) lineFree_ = now;
  if (!pacing_) {
    std::this_thread::sleep_until(lineFree_);
    line_.Write(bytes);
    return;
  }
  const uint32_t baud = line_.Settings().baud != 0 ? line_.Settings().baud : 4800;
  const auto byteTime = std::chrono::nanoseconds(11'000'000'000LL / baud);
  for (const uint8_t b : bytes) {
    lineFree_ += byteTime;
    std::this_thread::sleep_until(lineFree_);
    line_.Write(&b, 1);
  }
}

bool BootSim::TailIs(const std::vector<uint8_t>& bytes, const LineState& line) const {
  if (history_.size() < bytes.size()) return false;
  const size_t from = history_.size() - bytes.size();
  for (size_t i = 0; i < bytes.size(); ++i)
    if (history_[from + i].byte != bytes[i] || history_[from + i].line != line) return false;
  return true;
}

void BootSim::Handle(uint8_t byte, const LineState& line, Clock::time_point at) {
  history_.push_back({byte, line});
  if (history_.size() > 16) history_.erase(history_.begin());

  // The line echoes every byte at 115200 baud, before any answer (the echo of a packet byte
  // may be spoilt on request).
  if (line.baud == 115200) {
    uint8_t echo = byte;
    bool lost = false;
    if (mode_ == Mode::kBootDirect && expect_ == Expect::kPacket && gathered_.size() == 5) {
      lost = Strikes(BootFaultKind::kLostEcho, blocksWritten_) != nullptr;
      if (Strikes(BootFaultKind::kWrongEcho, blocksWritten_)) echo = static_cast<uint8_t>(~byte);
    }
    if (!lost) {
      // Echoes are gathered and leave together once the last is due: one wake-up for a whole
      // packet rather than one for each byte.
      if (lineFree_ < at) lineFree_ = at;
      if (pacing_) lineFree_ += std::chrono::nanoseconds(11'000'000'000LL / 115200);
      echoes_.push_back(echo);
    }
  }

  const bool bootLine = (mode_ == Mode::kBootDirect && line == kLine115200M) ||
                        ((mode_ == Mode::kBootQlb || mode_ == Mode::kPart1) && line == kLine4800N);
  if (mode_ != Mode::kApplication && !bootLine) {
    mode_ = Mode::kApplication;  // a new run starts over
    expect_ = Expect::kCommand;
    pending_ = -1;
    writing_ = false;
  }
  switch (mode_) {
    case Mode::kApplication: return Application(byte, line);
    case Mode::kPart1: return Part1(byte);
    case Mode::kBootDirect:
    case Mode::kBootQlb: return Boot(byte);
  }
}

void BootSim::Application(uint8_t byte, const LineState& line) {
  if (line == kLine4800E && TailIs({0x0D, 0x0D, 'I', 0x0D}, kLine4800E)) {
    std::vector<uint8_t> text(module_.firstIdentification.begin(),
                              module_.firstIdentification.end());
    text.push_back(0x0D);
    for (uint8_t& c : text) {
      c &= 0x7F;
      if (parityInEighthBit_ && __builtin_parity(c) != 0) c |= 0x80;  // even parity
    }
    Answer(text);
  } else if (line == kLine4800N && TailIs({0x8D, 0x8D, 0xC9, 0x8D}, kLine4800N)) {
    std::vector<uint8_t> text;
    for (const char c : module_.secondIdentification)
      text.push_back(static_cast<uint8_t>(c | 0x80));
    text.push_back(0x8D);
    Answer(text);
  } else if (line == kLine4800N && TailIs({0x10, 0x0D, 0x13, 0xC4, 0x3B}, kLine4800N)) {
    mode_ = Mode::kPart1;
    gathered_.clear();
    part1_.clear();
  }
  // The direct entry, step by step under the settings it must come with.
  if (line.baud != 115200) {
    wakeStage_ = 0;
  } else if (byte == 0x00 && line == kLine115200M && wakeStage_ == 0) {
    history_.pop_back();
    const bool passed = TailIs({0x8D, 0x8D, 0x09, 0x0D, 0x13}, kLine4800N);
    history_.push_back({byte, line});
    wakeStage_ = passed ? 1 : 0;
  } else if (byte == 0x81 && line == kLine115200S && wakeStage_ == 1) {
    wakeStage_ = 2;
  } else if (byte == 0x00 && line == kLine115200M && wakeStage_ == 2) {
    wakeStage_ = 0;
    mode_ = Mode::kBootDirect;
    expect_ = Expect::kCommand;
    pending_ = -1;
    writing_ = false;
  } else {
    wakeStage_ = 0;
  }
}

void BootSim::Part1(uint8_t byte) {
  gathered_.push_back(byte);
  if (part1_.size() == kPart1Bytes) {
    // After the last block: C8 37 starts the bootloader.
    if (gathered_.size() == 2) {
      if (gathered_[0] == 0xC8 && gathered_[1] == 0x37) {
        mode_ = Mode::kBootQlb;
        expect_ = Expect::kCommand;
        pending_ = -1;
        writing_ = false;
      }
      gathered_.clear();
    }
    return;
  }
  if (gathered_.size() < 17) return;
  uint8_t sum = 0;
  for (int i = 0; i < 16; ++i) sum = static_cast<uint8_t>(sum + gathered_[i]);
  const bool good = gathered_[16] == static_cast<uint8_t>(~sum);
  if (good) part1_.insert(part1_.end(), gathered_.begin(), gathered_.begin() + 16);
  gathered_.clear();
  Answer({static_cast<uint8_t>(good ? 0x01 : 0x00)});
}

void BootSim::Boot(uint8_t byte) {
  switch (expect_) {
    case Expect::kPacket:
      gathered_.push_back(byte);
      if (gathered_.size() == kPacketSize) {
        expect_ = Expect::kCommand;
        WriteBlock();
      }
      return;
    case Expect::kSecurityData:
      security_[static_cast<size_t>(sector_)] = byte;
      expect_ = Expect::kCommand;
      Answer({0x00});
      return;
    case Expect::kCellAddress:
    case Expect::kCellWrite: {
      gathered_.push_back(byte);
      const bool write = expect_ == Expect::kCellWrite;
      if (gathered_.size() < (write ? 3u : 2u)) return;
      expect_ = Expect::kCommand;
      const uint16_t address = static_cast<uint16_t>(gathered_[0] << 8 | gathered_[1]);
      if (address >= flash_.size()) {
        Answer({0x01});
        return;
      }
      if (!write) {
        Answer({flash_[address]});
        return;
      }
      if (Strikes(BootFaultKind::kCellRefused, -1, address) != nullptr) {
        Answer({0x01});
        return;
      }
      cellWrites_.push_back(address);
      if (Strikes(BootFaultKind::kStuckCell, -1, address) == nullptr)
        flash_[address] = gathered_[2];
      Save();
      Answer({0x00});
      return;
    }
    case Expect::kCommand: break;
  }
  if (writing_ && blocksWritten_ < Blocks()) {
    gathered_.assign(1, byte);
    expect_ = Expect::kPacket;
    return;
  }
  if (pending_ < 0) {
    pending_ = byte;
    return;
  }
  const uint8_t command = static_cast<uint8_t>(pending_);
  pending_ = -1;
  if (static_cast<uint8_t>(command ^ byte) != 0xFF) return;  // not a command pair
  Command(command);
}

void BootSim::Command(uint8_t command) {
  if (command == 0x02) {
    const bool withSerial = Strikes(BootFaultKind::kNoSerial) == nullptr;
    std::vector<uint8_t> answer{0x00};
    const std::vector<uint8_t> block = IdentityBlock(module_.serial, withSerial);
    answer.insert(answer.end(), block.begin(), block.begin() + (withSerial ? 48 : 24));
    Answer(answer);
  } else if (command == 0x05) {
    Answer({0x00});
  } else if (command == 0xF2) {
    const BootFault* unknown = Find(BootFaultKind::kUnknownProcessor);
    Answer(
        {0x00, unknown != nullptr ? unknown->code : static_cast<uint8_t>(module_.processorType)});
  } else if (command == 0x81) {
    Answer({0x00});
    const BootFault* error = Strikes(BootFaultKind::kEraseError);
    if (error != nullptr) {
      Answer({error->code}, kEraseMs);
      return;
    }
    ++erases_;
    const int32_t start = StartAddress();
    for (int32_t a = start; a < start + Blocks() * kBlockSize; ++a)
      flash_[static_cast<size_t>(a)] = 0xFF;
    Save();
    writing_ = true;
    blocksWritten_ = 0;
    Answer({0x00}, kEraseMs);
  } else if (command == 0x82) {
    Answer({0x00, 0x00});
    ReadBack();
  } else if (command >= 0xC8 && command <= 0xCF + 24) {
    sector_ = command - 0xC8;
    expect_ = Expect::kSecurityData;
    Answer({0x00});
  } else if (command >= 0xE8 && command != 0xF2) {
    Answer({0x00, security_[static_cast<size_t>(command - 0xE8)]});
  } else if (command == 0x84 || command == 0x83) {
    expect_ = command == 0x84 ? Expect::kCellAddress : Expect::kCellWrite;
    gathered_.clear();
    Answer({0x00});
  } else if (command == 0x01) {
    ++resets_;
    mode_ = Mode::kApplication;
  }
}

void BootSim::WriteBlock() {
  const int32_t n = blocksWritten_++;
  const uint8_t key = gathered_[0];
  if (const BootFault* error = Strikes(BootFaultKind::kWriteError, n)) {
    writing_ = false;
    Answer({error->code}, kBlockWriteMs);
    return;
  }
  const size_t base = static_cast<size_t>(StartAddress() + n * kBlockSize);
  for (size_t i = 0; i < kBlockSize; ++i)
    flash_[base + i] &= UnscramblePacketByte(gathered_[1 + i], key, i);  // bits can only be cleared
  Save();
  Answer({0x00}, kBlockWriteMs);
}

void BootSim::ReadBack() {
  std::vector<uint8_t> stream;
  const int32_t start = StartAddress();
  for (int32_t n = 0; n < Blocks(); ++n) {
    const uint8_t key = readKey_++;
    stream.push_back(key);
    for (size_t i = 0; i < kBlockSize; ++i)
      stream.push_back(
          ScramblePacketByte(flash_[static_cast<size_t>(start + n * kBlockSize) + i], key, i));
    stream.push_back(0x00);
  }
  if (Strikes(BootFaultKind::kReadBackDiffers) != nullptr) stream[1 + 17] ^= 0x01;
  if (Strikes(BootFaultKind::kReadBackShort) != nullptr) stream.resize(stream.size() / 2);
  Answer(stream);
}

}  // namespace s470::sim
