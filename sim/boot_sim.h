// A module with its bootloader, as the PC sees it on the firmware port.
//
// Entering the bootloader (each byte must come under the line settings shown, else the module
// stays where it is):
// - Direct path: 8D 8D 09 0D 13 at 4800 N 2 (the gauge passes the bus through), the wake byte
//   00 at 115200 M 2, 81 at 115200 S 2, then 00 at 115200 M 2. From there the module talks at
//   115200 M 2, and the line echoes every byte at 115200 baud before any answer.
// - QLBus path: 0D 0D 49 0D at 4800 E 2 asks for the first identification (answered with the
//   text and 0D); 8D 8D C9 8D at 4800 N 2 for the second (the text with the high bit set on every
//   byte, and 8D); 10 0D 13 C4 3B at 4800 N 2 starts the upload of part 1: 48 blocks of 16 bytes
//   and the complement of their sum, each acknowledged with 01; then C8 37 enters the bootloader,
//   which talks at 4800 N 2 without echo.
// A byte under other line settings than the bootloader's leaves it (the next run starts over).
//
// Bootloader commands (pairs, the byte and its complement; answers begin with status 00):
//   02 FD  detect: 00 and the 48-byte identity block (only its first 24 bytes when it begins
//          with 1)          05 FA  end of detection: 00
//   F2 0D  00, processor type (12: sectors 2-7 of 1024 bytes; 11: sectors 4-30 of 512 bytes)
//   81 7E  erase: 00 at once, 00 again once the programmed sectors are erased (kEraseMs); then
//          the blocks follow as packets (key, block size data bytes, filler), each answered
//          with 00 after kBlockWriteMs. Flash semantics: erasing sets 0xFF, writing can only
//          clear bits.
//   82 7D  00, 00, then every block as a packet with the module's own key
//   C8+s   00; then the data byte (03), 00           E8+s  00, the security bits of sector s
//   84 7B  00; address high, low: the cell          83 7C  00; address high, low, value: 00
//   01 FE  reset: the module leaves the bootloader
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_line.h"

namespace s470::sim {

// The module's stated answer times, beyond the line time of its bytes.
constexpr int kEraseMs = 100;
constexpr int kBlockWriteMs = 2;

enum class BootFaultKind : uint8_t {
  kSilent,            // the module never answers (the line still echoes)
  kLostEcho,          // the echo of byte 5 of block k's packet does not come
  kWrongEcho,         // the echo of byte 5 of block k's packet comes back inverted
  kWriteError,        // block k is answered with `code`
  kEraseError,        // the erase is confirmed with `code`
  kReadBackDiffers,   // one data byte of the read-back is wrong (`times` read-backs)
  kReadBackShort,     // the read-back stops half-way (`times` read-backs)
  kUnknownProcessor,  // the processor type is `code`
  kNoSerial,          // the identity block begins with 1
  kStuckCell,         // writing cell `cell` is acknowledged but changes nothing
  kCellRefused,       // writing cell `cell` is answered with status 1
};

struct BootFault {
  BootFaultKind kind = BootFaultKind::kSilent;
  int block = 0;
  uint8_t code = 0;
  uint16_t cell = 0;
  int times = -1;  // how often it strikes; -1: every time
};

// "silent", "lostecho:K", "wrongecho:K", "writeerror:K[:CODE]", "eraseerror[:CODE]",
// "readbackdiffers[:TIMES]", "readbackshort[:TIMES]", "unknowntype[:TYPE]", "noserial",
// "stuckcell:ADDR", "cellrefused:ADDR" (numbers decimal or 0x hex). false for anything else.
bool ParseBootFault(const std::string& text, BootFault* fault);

struct BootModule {
  int processorType = 12;
  uint32_t serial = 4711;
  std::string firstIdentification = "QLB-mc1 V3.0";
  std::string secondIdentification = "QLB-mc1 bootloader";
  uint8_t cellFill = 0xFF;  // the user cells of sector 1 before any run
};

class BootSim {
 public:
  BootSim(SimLine& line, const BootModule& module);
  ~BootSim();
  BootSim(const BootSim&) = delete;
  BootSim& operator=(const BootSim&) = delete;

  void AddFault(const BootFault& fault);
  void SetPacing(bool on) { pacing_ = on; }
  // A 7E2 answer carries its parity bit where a receiver set for 8 data bits reads the eighth
  // data bit. A pseudo-terminal has no frames, so on request the module puts that bit there: a
  // host that really sets 7 data bits drops it, one left at 8 reads garbage. (Off for Wine, which
  // does not strip the eighth bit.)
  void SetParityInEighthBit(bool on) { parityInEighthBit_ = on; }
  // The flash is kept in this file: read at the start when it holds the flash's size, written
  // after every change.
  void KeepFlashIn(const std::string& path);

  void Start();
  void Stop();

  // Without the line and its thread (for a fake line on a driven clock): the line hands over each
  // byte the PC sends with the settings it was sent under, and the module's echoes and answers go
  // to `output` with the delay after which they are due. Nothing sleeps.
  using Output = std::function<void(const std::vector<uint8_t>& bytes, int delayMs)>;
  void SetOutput(Output output);
  void Feed(uint8_t byte, const LineState& line);

  std::vector<uint8_t> Flash() const;         // the whole flash, sectors 0 on
  std::vector<uint8_t> Part1() const;         // what the last part-1 upload brought (768 bytes)
  std::vector<uint8_t> SecurityBits() const;  // per sector
  std::vector<uint16_t> CellWrites() const;   // addresses of the cell writes, in order
  int Resets() const;
  int Erases() const;
  SimLine& line() { return line_; }

 private:
  enum class Mode { kApplication, kPart1, kBootDirect, kBootQlb };
  enum class Expect { kCommand, kPacket, kSecurityData, kCellAddress, kCellWrite };
  struct Received {
    uint8_t byte;
    LineState line;
  };

  void Serve();
  void Handle(uint8_t byte, const LineState& line, std::chrono::steady_clock::time_point at);
  void Application(uint8_t byte, const LineState& line);
  void Part1(uint8_t byte);
  void Boot(uint8_t byte);
  void Command(uint8_t command);
  void WriteBlock();
  void ReadBack();
  bool TailIs(const std::vector<uint8_t>& bytes, const LineState& line) const;
  const BootFault* Strikes(BootFaultKind kind, int block = -1, int cell = -1);
  const BootFault* Find(BootFaultKind kind) const;
  void Answer(const std::vector<uint8_t>& bytes, int delayMs = 0);
  void FlushEchoes();
  void Save() const;
  int32_t Blocks() const;
  int32_t StartAddress() const;

  SimLine& line_;
  BootModule module_;
  std::vector<BootFault> faults_;
  bool pacing_ = false;
  bool parityInEighthBit_ = false;
  std::string flashPath_;
  Output output_;

  mutable std::mutex mutex_;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  std::vector<uint8_t> flash_;
  std::vector<uint8_t> part1_;
  std::vector<uint8_t> security_;
  std::vector<uint16_t> cellWrites_;
  int resets_ = 0;
  int erases_ = 0;

  Mode mode_ = Mode::kApplication;
  int wakeStage_ = 0;  // direct entry: 1 after the wake byte, 2 after 0x81
  std::vector<Received> history_;
  std::vector<uint8_t> gathered_;
  Expect expect_ = Expect::kCommand;
  int pending_ = -1;
  int sector_ = 0;
  bool writing_ = false;
  int32_t blocksWritten_ = 0;
  uint8_t readKey_ = 0xF0;
  std::chrono::steady_clock::time_point lineFree_{};
  std::vector<uint8_t> echoes_;  // echoes not yet written
};

}  // namespace s470::sim
