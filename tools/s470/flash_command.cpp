// flash: the firmware dialog's programming run from the command line, behind the access code of
// the access-code dialog. The status texts become lines; the flash blocks and user cells a bar.
#include <algorithm>
#include <memory>
#include <vector>

#include "lang/text_lookup.h"
#include "programming/bootloader.h"
#include "programming/firmware_dialogs.h"
#include "programming/programming_run.h"
#include "programming/programming_view.h"
#include "serial/bus_port.h"
#include "serial/serial_device.h"
#include "tool.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

void (*g_pause)(uint32_t ms) = nullptr;

// The status texts that count steps, and how many a run has of them.
struct CountedStatus {
  const char* prefix;
  int (*total)();
};
const CountedStatus kCounted[] = {
    {" Part 1 -> ", [] { return kPart1Blocks; }},
    {" Programming -> ", [] { return static_cast<int>(CurrentFlashGeometry().Blocks()); }},
    {" Programme user setup data - Cell ",
     [] {
       return (kUserCellsLast - kUserCellsFirst + 1) - (kUserCellsGapLast - kUserCellsGapFirst + 1);
     }},
};

// The dialog's texts are Latin-1 ("µP"): UTF-8 for the terminal.
std::string FromLatin1(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (b >> 6));
      out += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The firmware dialog's fields as terminal lines. A run of counted statuses is a bar on a
// terminal, and elsewhere its first and last line.
class ConsoleProgrammingView final : public ProgrammingView {
 public:
  explicit ConsoleProgrammingView(const Console& console) : console_(console) {}
  ~ConsoleProgrammingView() override { EndCounted(); }

  void ShowStatus(const std::string& text) override {
    last_ = FromLatin1(Trim(text));
    const CountedStatus* counted = nullptr;
    for (const CountedStatus& c : kCounted)
      if (text.compare(0, std::char_traits<char>::length(c.prefix), c.prefix) == 0) counted = &c;
    if (counted != counted_) {
      EndCounted();
      counted_ = counted;
      if (counted != nullptr) progress_ = std::make_unique<Progress>(console_, counted->total());
    }
    if (last_.empty()) return;
    if (counted == nullptr) {
      console_.Line(last_);
    } else if (console_.terminal() || steps_++ == 0) {
      progress_->Status(last_);
      progress_->Step();
    } else {
      held_ = last_;  // shown when the run of counted statuses ends
    }
  }
  void ShowPortFailure(const std::string& text) override { ShowStatus(text); }
  void ShowIdentification(const std::string& text) override {
    identification_ = text;
    if (!Trim(text).empty()) console_.Line("Serial number: " + Trim(text));
  }
  std::string ReadIdentification() override { return identification_; }
  // A beep marks a failure text; those that do not end the run are kept for the verdict.
  void Beep() override {
    beeped_.push_back(last_);
    if (console_.terminal() && !console_.quiet()) console_.err() << '\a' << std::flush;
  }
  void PumpMessages() override {}
  void Wait(uint32_t ms) override { g_pause != nullptr ? g_pause(ms) : SleepMs(ms); }

  const std::string& last() const { return last_; }
  const std::vector<std::string>& beeped() const { return beeped_; }

 private:
  void EndCounted() {
    if (!held_.empty()) console_.Line(held_);
    held_.clear();
    steps_ = 0;
    progress_.reset();
  }

  const Console& console_;
  std::string last_, held_, identification_;
  std::vector<std::string> beeped_;
  const CountedStatus* counted_ = nullptr;
  std::unique_ptr<Progress> progress_;
  int steps_ = 0;
};

int ModuleChoice(const std::string& module, uint16_t brand) {
  if (module == "mc1") return 0;
  if (module == "gauge") return 1;
  // R/S470-ae1/im2 is offered for the maker's own brand and brand 4 only.
  if (ModuleChoiceEntries(brand).size() > 2) return 2;
  throw Failure(kExitUsage, "--module ae1im2 is not offered for brand " + std::to_string(brand) +
                                "; use mc1 or gauge");
}

}  // namespace

void SetFlashPause(void (*pause)(uint32_t ms)) {
  g_pause = pause;
}

int FlashCommand(const Console& console, const FlashOptions& options) {
  const int16_t port = PortNumber(options.port);
  if (port >= kBusPortCount)
    throw Failure(kExitUsage, "flash runs on COM1 to COM" + std::to_string(kBusPortCount - 1) +
                                  ", not on " + options.port);
  const int choice = ModuleChoice(options.module, options.brand);

  std::string code = options.code;
  if (!options.codeGiven) {
    if (!IsTerminal(stdin))
      throw Failure(kExitUsage,
                    "flash needs the access code: give --code CODE, or run it at a terminal");
    if (!ReadSecretLine("Access code: ", &code))
      throw Failure(kExitUsage, "no access code was typed");
  }
  if (!AccessCodeMatches(code))
    throw Failure(kExitUsage, std::string(kWrongCodeMessage) + ": the access code does not match");

  if (!options.dir.empty() && !ChangeDirectory(options.dir))
    throw Failure(kExitUsage,
                  "cannot change to the folder " + options.dir + ": check that it exists");
  CheckPortOpens(port, options.port);

  SetBrand(options.brand);
  ConsoleProgrammingView view(console);
  const ProgrammingResult result = RunProgramming({port, choice, options.brand}, view);
  if (result != ProgrammingResult::kProgrammed)
    throw Failure(kExitDevice, "flash on " + options.port + ": " + view.last());
  // The run goes on after a read-back that failed three times and after a user cell that would
  // not take its value; the dialog's last text then says "programmed successfully" all the same.
  // A script must not take that for a clean run.
  if (!view.beeped().empty()) {
    std::string problems;
    for (const std::string& text : view.beeped()) problems += (problems.empty() ? "" : "; ") + text;
    throw Failure(kExitDevice, "flash on " + options.port +
                                   ": the module was programmed and reset, but: " + problems);
  }
  return kExitDone;
}

}  // namespace s470::tool
