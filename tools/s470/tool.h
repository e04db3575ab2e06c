// The s470 command-line tool: what its commands share. Texts the DLL shows in dialogs and message
// boxes become lines on standard error; results go to standard output.
//
// Exit status: 0 done; 1 the device or the transfer failed; 2 bad usage, or a file that cannot be
// read or written. Every failure is one line on standard error.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "lang/lang_api.h"
#include "transfer/progress_view.h"

namespace s470::tool {

constexpr int kExitDone = 0;
constexpr int kExitDevice = 1;
constexpr int kExitUsage = 2;

// Ends a command: the status and the one line that says what failed and what to check.
struct Failure : std::runtime_error {
  Failure(int status, const std::string& line) : std::runtime_error(line), status(status) {}
  int status;
};

// The program's name in its messages: "s470", or "fwscramble" under its old name.
const std::string& ProgramName();
void SetProgramName(const std::string& name);

// Where the commands report: results to `out` (standard output); progress to `err` (standard
// error) as plain lines or, on a terminal, with a bar that is redrawn in place; nothing but
// failures and warnings with --quiet.
class Console {
 public:
  Console(std::ostream& out, std::ostream& err, bool quiet, bool terminal)
      : out_(out), err_(err), quiet_(quiet), terminal_(terminal) {}
  std::ostream& out() const { return out_; }
  std::ostream& err() const { return err_; }
  void Line(const std::string& text) const;
  void Warning(const std::string& text) const;  // shown even with --quiet
  bool quiet() const { return quiet_; }
  bool terminal() const { return terminal_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool quiet_;
  bool terminal_;
};

// The whole program: parses args (args[0] is the program's path), runs the command, reports.
// Returns the exit status.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
            bool errIsTerminal);

// Progress through `total` steps (setup blocks, flash blocks, user cells). Each status text is a
// line of its own, unless on a terminal: there the status and a bar share one line.
class Progress {
 public:
  Progress(const Console& console, int total) : console_(console), total_(total) {}
  ~Progress() { End(); }
  void Status(const std::string& text);
  void Step();
  // Ends the bar's line on a terminal.
  void End();

 private:
  void Draw();
  const Console& console_;
  int total_;
  int done_ = 0;
  std::string status_;
  size_t drawn_ = 0;  // characters of the bar's line on the terminal
};

// The progress dialog of a setup transfer as terminal lines: the title, the status texts and a
// bar over the 48 blocks. Its message box is kept as the failure's text.
class ConsoleProgressView final : public ProgressView {
 public:
  ConsoleProgressView(const Console& console, int blocks)
      : console_(console), progress_(console, blocks) {}
  void Create(Window parent, const std::u16string& title) override;
  void SetStatus(const std::u16string& text) override;
  void Repaint() override {}
  void PumpMessages() override { progress_.Step(); }
  void ShowMessage(const std::u16string& text, unsigned style) override;
  void Destroy() override { progress_.End(); }
  const std::string& message() const { return message_; }

 private:
  const Console& console_;
  Progress progress_;
  std::string message_;
};

// The tool's texts in place of a Language DLL (English), and its file opening for the slots.
class ToolLang final : public LangApi {
 public:
  ToolLang();
  int LoadLanguage(int, int) override { return 0; }
  const char16_t* GetStr(int number) override;
  void SetText(Window, const char16_t*) override {}
  int GetTextOf(Window, char16_t*, int) override { return 0; }
  intptr_t OpenDialog(Window, int, void*) override { return -1; }
  Window CreateModeless(Window, int, void*) override { return nullptr; }
  void ComboBoxAdd(Window, const char16_t*) override {}
  int ShowMessageBox(Window, const char16_t* text, const char16_t* caption,
                     unsigned style) override;
  FileHandle OpenFile(const char16_t* path) override;
  long OpenKey(uintptr_t, const char16_t*, uint32_t, uint32_t, RegKey*) override { return 2; }
  long CreateKey(uintptr_t, const char16_t*, const char16_t*, uint32_t, RegKey*,
                 uint32_t*) override {
    return 5;
  }
  long EnumValue(RegKey, uint32_t, char16_t*, uint32_t*, uint32_t*, uint8_t*, uint32_t*) override {
    return 259;
  }
  long SetValue(RegKey, const char16_t*, uint32_t, const uint8_t*, uint32_t) override { return 5; }
  void CloseKey(RegKey) override {}

  // Message boxes shown outside a progress view, oldest first; cleared when taken.
  std::string TakeMessages();

 private:
  std::map<int, std::u16string> texts_;
  std::string messages_;
};

// Text n in the tool's language with the brand's names, as UTF-8.
std::string TextOf(int number);
// UTF-16 text as a line: UTF-8, without the spaces around it.
std::string Trimmed(const std::u16string& text);

// The port the user named, as a port number; bad usage when it is no port name.
int16_t PortNumber(const std::string& name);
// Opens and closes the port once, so that a missing or held port is reported as such before a
// transfer would take it for a silent device.
void CheckPortOpens(int16_t port, const std::string& name);

// The commands. Each returns the exit status or throws Failure.
int ReadSetupCommand(const Console& console, const std::string& port, const std::string& file);
int WriteSetupCommand(const Console& console, const std::string& port, const std::string& file);
int AnalyseCommand(const Console& console, const std::string& port, bool json,
                   const std::string& reportFile);
// A setup file as the setup editor shows it: named fields ("channel 3, limit 2") with their
// texts, in the editor's order.
struct SetupField {
  std::string name, value;
};
using SetupFields = std::vector<SetupField>;
SetupFields DescribeSetup(const std::string& path);
int InspectCommand(const Console& console, const std::string& file, bool json);
// 0 when the two files show the same, 1 when they differ (each difference a line).
int DiffCommand(const Console& console, const std::string& a, const std::string& b);
struct FlashOptions {
  std::string port, module, dir, code;
  bool codeGiven = false;
  uint16_t brand = 0;
};
int FlashCommand(const Console& console, const FlashOptions& options);
// How the flash command waits while the module starts up after its reset: SleepMs unless
// another pause is set (nullptr puts SleepMs back).
void SetFlashPause(void (*pause)(uint32_t ms));
int ScrambleCommand(const Console& console, bool scramble, const std::string& in,
                    const std::string& out);

}  // namespace s470::tool
