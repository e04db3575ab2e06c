// The QLBus as the PC sees it through the gauge: a line that echoes every byte at 115200 baud,
// and modules that answer identify in order until they are numbered.
//
// Module line protocol as simulated:
// - At 115200 baud every byte the PC sends comes back as an echo before anything else. At other
//   rates (the gauge's 4800 baud) bytes are only logged.
// - 0x00 sent with mark parity is the wake byte: it calls the modules to attention. When the next
//   byte is 0x81 with space parity (the bus start), every module forgets its number.
// - Commands are pairs, a byte and its ones' complement. 0x02 0xFD right after the wake byte is
//   identify: the first module without a number answers 0x00 and its 48-byte identity block (a
//   module in bootloader mode: 0x00 and only the first 24 bytes, the first of them 0x01).
//   0x40+n with its complement numbers the module that answered the last identify: it answers
//   0x00, takes number n and stays silent from then on.
//
// A pseudo-terminal carries no parity bits: the parity of a byte is judged by the line settings
// the PC had applied at the moment the simulator reads the byte. The PC changes parity only
// after the echo of the byte before, so the judgement is sound for the wake sequence.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_line.h"

namespace s470::sim {

struct SimModule {
  std::string name;        // up to 8 characters
  uint8_t hardware = 0x10;
  uint8_t software = 0x10;
  uint32_t serial = 0;
  bool bootloader = false;  // in bootloader mode: never takes a number
};

// The 48-byte identity block of a module.
std::vector<uint8_t> IdentityBlock(const SimModule& module);

enum class BusFaultKind : uint8_t {
  kNoAck,           // the module does not acknowledge its numbering
  kWrongNumberAck,  // the module acknowledges its numbering with 0x15 and takes no number
  kWrongAck,        // the module acknowledges identify with 0x15 and sends no identity block
  kTruncated,       // the identity block stops after 6 bytes of its second half
  kNeverQuiet,      // at 115200 baud the line carries 0x55 every 2 ms, for good
  kHangUp,          // the line hangs up once the PC has sent `after` bytes
};

struct BusFault {
  BusFaultKind kind = BusFaultKind::kNoAck;
  int module = 0;  // which module (module faults)
  int times = -1;  // how often it strikes; -1: every time
  int after = 0;   // kHangUp: bytes from the PC before the hang-up
};

// Parses "noack[:MODULE]", "wrongack[:MODULE[:TIMES]]", "wrongnumberack[:MODULE]",
// "truncated[:MODULE[:TIMES]]", "neverquiet", "hangup[:BYTES]". false for anything else.
bool ParseBusFault(const std::string& text, BusFault* fault);
// Parses "NAME,HW,SW,SERIAL[,boot]" (numbers decimal or 0x hex). false when malformed.
bool ParseSimModule(const std::string& text, SimModule* module);

class BusSim {
 public:
  explicit BusSim(SimLine& line);
  ~BusSim();
  BusSim(const BusSim&) = delete;
  BusSim& operator=(const BusSim&) = delete;

  // Set up before Start.
  void AddModule(const SimModule& module);
  void AddFault(const BusFault& fault);
  // Answers and echoes leave at the line rate: 11 bits a byte.
  void SetPacing(bool on) { pacing_ = on; }

  void Start();  // serves the line on a thread of its own
  void Stop();

  // The number each module took last (-1: none), in module order; kept when the next bus
  // start makes the modules forget them.
  std::vector<int> Numbers() const;
  // Identify commands that reached the modules.
  int IdentifyCount() const;
  SimLine& line() { return line_; }

 private:
  struct Module {
    SimModule identity;
    int number = -1;     // forgotten at every bus start
    int lastNumber = -1;  // what Numbers() reports
  };

  void Serve();
  void Handle(uint8_t byte, const LineState& settings, std::chrono::steady_clock::time_point at);
  void Identify();
  void Numbering(int n);
  bool Strikes(BusFaultKind kind, int module);
  void Send(const std::vector<uint8_t>& bytes, std::chrono::steady_clock::time_point at);
  void Babble();

  SimLine& line_;
  std::vector<Module> modules_;
  std::vector<BusFault> faults_;
  bool pacing_ = false;
  bool neverQuiet_ = false;
  int hangUpAfter_ = -1;

  mutable std::mutex mutex_;  // guards the module state against the queries
  std::atomic<bool> stop_{false};
  std::thread thread_;

  // Parser state of the module line.
  bool attention_ = false;  // the byte before was the wake byte
  int pending_ = -1;        // first byte of a command pair
  int lastIdentified_ = -1;
  int identifyCount_ = 0;
  int received_ = 0;
  std::chrono::steady_clock::time_point lineFree_{};
  std::chrono::steady_clock::time_point lastBabble_{};
};

}  // namespace s470::sim
