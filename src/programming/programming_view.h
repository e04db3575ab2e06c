// What a programming run needs of its front end: the firmware dialog's fields, a beep, the
// dispatch of pending window messages and a wait. A terminal front end shows the texts as lines.
//
// Texts are 8-bit (Latin-1: the only character above 0x7F is the 0xB5 of "µP").
#pragma once

#include <cstdint>
#include <string>

namespace s470 {

class ProgrammingView {
 public:
  virtual ~ProgrammingView() = default;
  // Status field 203: progress texts, command bytes, the result and failure texts.
  virtual void ShowStatus(const std::string& text) = 0;
  // Control 301: the failure of opening the port at 115200 baud on the direct path.
  virtual void ShowPortFailure(const std::string& text) = 0;
  // Identification field 201, and its text read back as the user may have left it.
  virtual void ShowIdentification(const std::string& text) = 0;
  virtual std::string ReadIdentification() = 0;
  // 1500 Hz for 150 ms.
  virtual void Beep() = 0;
  // Dispatches every pending window message, so that the fields repaint during a run.
  virtual void PumpMessages() = 0;
  virtual void Wait(uint32_t ms) = 0;
};

}  // namespace s470
