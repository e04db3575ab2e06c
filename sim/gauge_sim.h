// A simulated R470/S470 gauge on a pseudo-terminal: 768 bytes of setup memory, the wake-up
// handshake, the identification line, and the read and write commands with their 48 blocks.
//
// What the gauge does, byte by byte:
//   asleep      0xC9 0x8D (wake-up pair): echoes 0x8D (after the n-th pair of a session when it
//               is set to be slow to wake) and waits for the host's confirmation.
//   echoed      a lone 0x8D counts as confirmation; the gauge needs 50 ms after the first to get
//               ready, so a second 0x8D sooner than that is lost (the host waits 100 ms). A
//               repeated wake-up pair (the host missed the echo) is echoed again. After two
//               confirmations the gauge is awake and silent.
//   awake       a wake-up pair asks for the identification line ("R/S470-ae1" and CR unless
//               set otherwise). The lead-in 0x10 0x0D 0x13 switches the gauge to transfer mode,
//               which takes it 50 ms: a command sooner than that, or without a lead-in, is lost.
//               0xC2 '=' sends the 48 blocks at once, back to back, each with its checksum;
//               0xC4 ';' takes 48 blocks of 16 bytes and a checksum, each answered at once with
//               0x01 (0x00 for a wrong checksum, which ends the transfer). 0xC1 '>' ends it.
//   after the last block: 0xC1 '>' ends the exchange; a written setup takes effect only then
//               (and is saved to the memory file). A wake-up pair here starts a new handshake.
//   In every state but asleep, 1000 ms without a byte either way puts the gauge back to sleep:
//   a host that gave up mid-way leaves no half-open session behind.
// Bytes arriving at line settings other than 4800 baud, no parity, 2 stop bits are not
// understood: they are ignored and noted as violations, as is every byte out of protocol.
//
// With pacing on, the gauge sends at the line rate (11 bits a byte) and acts on a received byte
// only when it would have arrived whole on a real line, so timings match a real cable.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_line.h"

namespace s470::sim {

constexpr size_t kGaugeMemoryBytes = 768;
using GaugeMemory = std::array<uint8_t, kGaugeMemoryBytes>;

enum class Chatter : uint8_t {
  kNone,
  kFromStart,       // from the moment the line is up: emptying the input never ends
  kInsteadOfEcho,   // a wake-up pair is answered with endless bytes, never 0x8D
  kAfterHandshake,  // after the two confirmations the gauge never falls quiet
  kEndlessIdentification  // the identification line never ends (no CR)
};

struct GaugeFaults {
  bool silent = false;               // never answers
  int wakeOnPair = 1;                // echoes only the n-th wake-up pair of a handshake
  std::vector<uint8_t> beforeEcho;   // sent just before the echo
  bool identificationWithoutCr = false;
  int badChecksumBlock = 0;          // 1..48: the read sends that block with a wrong checksum
  int refuseBlock = 0;               // 1..48: the write answers that block with 0x00
  int slowBlock = 0;                 // 1..48: a pause of slowMs before that block (read) or its
  int slowMs = 0;                    //   acknowledgement (write)
  int hangUpBlock = 0;               // 1..48: the line hangs up in the middle of that block
  Chatter chatter = Chatter::kNone;
  int chatterMs = 0;                 // how long the chatter lasts (then the gauge sleeps); 0: for ever
  int sessions = 0;                  // the faults hit the first n handshakes only; 0: all
};

struct GaugeConfig {
  std::string identification = "R/S470-ae1";
  GaugeFaults faults;
  bool pace = false;
};

struct GaugeStats {
  int handshakes = 0;        // echoes that began a handshake
  int identifications = 0;   // identification lines sent
  int readsServed = 0;       // all 48 blocks sent
  int readsEnded = 0;        // ... and the end command received
  int writesCompleted = 0;   // 48 blocks accepted and the end command received
  int refusals = 0;          // blocks answered 0x00
  int lastWriteBytes = -1;   // bytes between the write command and the end command
  std::vector<std::string> violations;
};

class GaugeSim {
 public:
  explicit GaugeSim(GaugeConfig config = {});

  GaugeMemory Memory() const;
  void SetMemory(const GaugeMemory& memory);
  // Loads the memory from a 768-byte file (made, zeroed, when missing) and saves it there after
  // every completed write. false when the file has another size or cannot be made.
  bool UseMemoryFile(const std::string& path);

  GaugeStats Stats() const;
  const GaugeConfig& config() const { return config_; }

  // Serves the line until stop is set (false) or the gauge hangs up (true).
  bool Serve(SimLine& line, const std::atomic<bool>& stop);

 private:
  enum class State { kAsleep, kEchoed, kAwake, kReceiving, kAfterBlocks };
  struct Session;

  bool FaultsActive() const;
  void Violation(const std::string& what);
  bool HandleByte(Session& s, uint8_t b, double arrivalMs);  // true when the line was hung up
  bool SendBlocks(Session& s);
  bool TakeWriteByte(Session& s, uint8_t b);
  void StartChatter(Session& s, Chatter kind);
  void Send(Session& s, const std::vector<uint8_t>& bytes);

  GaugeConfig config_;
  mutable std::mutex mutex_;  // memory_, stats_, memoryFile_
  GaugeMemory memory_{};
  GaugeStats stats_;
  std::string memoryFile_;
  int handshakeNumber_ = 0;
};

// Runs a GaugeSim in a thread on a pseudo-terminal linked at linkPath (a Wine prefix's
// dosdevices/comN, or any path a POSIX test opens). After a hang-up a fresh line is linked
// there, as if the cable had been plugged back in. The constructor returns once the link is
// there; the destructor stops the gauge and removes the link.
class GaugeSimRunner {
 public:
  GaugeSimRunner(GaugeSim& sim, std::string linkPath);
  ~GaugeSimRunner();
  GaugeSimRunner(const GaugeSimRunner&) = delete;
  GaugeSimRunner& operator=(const GaugeSimRunner&) = delete;

  // Stops the gauge and removes the link; the log stays readable.
  void Stop();
  std::vector<LogEntry> Log() const;       // of every line so far, in order (times per line)
  std::vector<uint8_t> Bytes(char direction) const;
  int hangUps() const { return hangUps_; }

 private:
  void Run();

  GaugeSim& sim_;
  std::string link_;
  std::atomic<bool> stop_{false};
  std::atomic<int> hangUps_{0};
  mutable std::mutex mutex_;
  SimLine* current_ = nullptr;
  std::vector<LogEntry> past_;
  std::thread thread_;
};

// The checksum the gauge sends after a block: the complement of the 8-bit sum.
uint8_t GaugeChecksum(const uint8_t* block16);

}  // namespace s470::sim
