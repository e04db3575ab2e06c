// The device side of a serial line for the simulators: the master of a pseudo-terminal whose
// slave the system under test opens (natively by path, under Wine as COMn). It reads the line
// settings the system applied, logs every byte with time, direction and settings, and can pace
// its output at the line rate.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace s470::sim {

enum class SimParity : uint8_t { kNone, kEven, kOdd, kSpace, kMark };

struct LineState {
  uint32_t baud = 0;
  SimParity parity = SimParity::kNone;
  bool twoStopBits = false;
  bool operator==(const LineState& o) const {
    return baud == o.baud && parity == o.parity && twoStopBits == o.twoStopBits;
  }
  bool operator!=(const LineState& o) const { return !(*this == o); }
  std::string ToString() const;  // e.g. "4800 N 2", "115200 M 2"
};

struct LogEntry {
  double ms;       // since the line was made
  char direction;  // '>' host to device, '<' device to host
  uint8_t byte;
  LineState line;
};

class SimLine {
 public:
  // Makes a new pseudo-terminal. When linkPath is not empty, a symbolic link to the slave is put
  // there (a Wine prefix's dosdevices/comN, say) and removed again by the destructor.
  explicit SimLine(const std::string& linkPath = "");
  ~SimLine();
  SimLine(const SimLine&) = delete;
  SimLine& operator=(const SimLine&) = delete;

  const std::string& slavePath() const { return slavePath_; }
  int masterFd() const { return master_; }

  LineState Settings() const;  // what the system applied, read on the slave

  // One byte from the system, or -1 when none came within timeoutMs (0: only what is there).
  int ReadByte(int timeoutMs);
  // Sends bytes to the system; paced at 11 bits a byte of the current baud rate when pacing is on.
  void Write(const uint8_t* bytes, size_t count);
  void Write(const std::vector<uint8_t>& bytes) { Write(bytes.data(), bytes.size()); }
  void SetPacing(bool on) { pacing_ = on; }
  // Throws away what the system sent so far.
  void DiscardInput();
  // Closes the master: the system sees the line hang up.
  void HangUp();
  bool hungUp() const { return master_ < 0; }

  std::vector<LogEntry> Log() const;
  // Only the bytes in one direction, in order.
  std::vector<uint8_t> Bytes(char direction) const;
  void ClearLog();
  double NowMs() const;

 private:
  void Record(char direction, uint8_t byte);

  int master_ = -1;
  int slave_ = -1;  // kept open so the line stays up between the system's opens
  std::string slavePath_;
  std::string link_;
  bool pacing_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point paceUntil_;
  mutable std::mutex logMutex_;
  std::vector<LogEntry> log_;
};

// Prints every byte the line has logged to standard output (when `show`) until `stop` is set;
// the main loop of the simulator programs.
void ShowLogUntilStopped(const SimLine& line, bool show, volatile std::sig_atomic_t& stop);

}  // namespace s470::sim
