#include "tool.h"

#include <algorithm>

#include "lang/text16.h"
#include "lang/text_lookup.h"
#include "serial/serial_device.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

std::string g_programName = "s470";

constexpr int kBarWidth = 30;

}  // namespace

const std::string& ProgramName() {
  return g_programName;
}
void SetProgramName(const std::string& name) {
  g_programName = name;
}

void Console::Line(const std::string& text) const {
  if (!quiet_) err_ << text << '\n' << std::flush;
}

void Console::Warning(const std::string& text) const {
  err_ << ProgramName() << ": warning: " << text << '\n' << std::flush;
}

void Progress::Status(const std::string& text) {
  status_ = text;
  if (console_.quiet()) return;
  if (console_.terminal())
    Draw();
  else
    console_.Line(text);
}

void Progress::Step() {
  done_ = std::min(done_ + 1, total_);
  if (!console_.quiet() && console_.terminal()) Draw();
}

void Progress::End() {
  if (drawn_ > 0) console_.err() << '\n' << std::flush;
  drawn_ = 0;
}

// "[#########.....................]  30%  Transferred: 400 / 1024", drawn over the last one
// (padded with spaces: no terminal escapes, so old Windows consoles show it too).
void Progress::Draw() {
  const int filled = total_ > 0 ? done_ * kBarWidth / total_ : 0;
  const int percent = total_ > 0 ? done_ * 100 / total_ : 0;
  char head[64];
  std::snprintf(head, sizeof head, "[%s%s] %3d%%  ",
                std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kBarWidth - filled), '.').c_str(), percent);
  std::string line = head + status_;
  const size_t length = line.size();
  if (length < drawn_) line += std::string(drawn_ - length, ' ');
  console_.err() << '\r' << line << std::flush;
  drawn_ = length;
}

void ConsoleProgressView::Create(Window, const std::u16string& title) {
  console_.Line(Trimmed(title));
}

void ConsoleProgressView::SetStatus(const std::u16string& text) {
  progress_.Status(Trimmed(text));
}

void ConsoleProgressView::ShowMessage(const std::u16string& text, unsigned) {
  message_ = Trimmed(text);
}

ToolLang::ToolLang() {
  // The transfer's and the analysis's texts, as the English Language DLL words them.
  texts_ = {
      {1000, u"Read setup from the ORV S470 gauge"},
      {1001, u"Write setup to the ORV S470 gauge"},
      {1002, u"Connection"},
      {1003, u"Transferred: "},
      {1004,
       u"No connection to the ORV module. Please check the cable, the COM port and the power "
       u"supply of the S470, then try again."},
      {1005,
       u"The S470 gauge did not accept the setup data. The setup in the gauge is incomplete: "
       u"please write it again."},
      {1201, u"The bus analysis is finished."},
      // What the setup editor's lists show.
      {2000, u"S470"},
      {111, u"mm, 4 decimals (0.0001)"},
      {112, u"mm, 3 decimals (0.001)"},
      {113, u"inch, 5 decimals (0.00001)"},
      {114, u"inch, 4 decimals (0.0001)"},
      {211, u"off"},
      {212, u"on"},
      {224, u"none"},
      {241, u"none"},
      {256, u"own scale"},
      {261, u"No."},
      {291, u"one way"},
      {292, u"both ways"},
      {151, u"Mode 0"},
      {152, u"Mode 1"},
      {153, u"Mode 2"},
      {154, u"Mode 3"},
      {155, u"Mode 4"},
      {156, u"Mode 5"},
  };
}

const char16_t* ToolLang::GetStr(int number) {
  const auto it = texts_.find(number);
  return it != texts_.end() ? it->second.c_str() : nullptr;
}

int ToolLang::ShowMessageBox(Window, const char16_t* text, const char16_t*, unsigned) {
  if (!messages_.empty()) messages_ += " ";
  messages_ += Trimmed(text != nullptr ? std::u16string(text) : std::u16string());
  return 1;
}

FileHandle ToolLang::OpenFile(const char16_t* path) {
  return OpenSlotFile(path);
}

std::string ToolLang::TakeMessages() {
  std::string m;
  m.swap(messages_);
  return m;
}

std::string TextOf(int number) {
  return ToUtf8(GetText(number));
}

std::string Trimmed(const std::u16string& text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string::npos) return "";
  const size_t last = text.find_last_not_of(u' ');
  return ToUtf8(text.substr(first, last - first + 1));
}

int16_t PortNumber(const std::string& name) {
  int16_t port = 0;
  std::string why;
  if (!ResolvePort(name, &port, &why)) throw Failure(kExitUsage, why);
  return port;
}

void CheckPortOpens(int16_t port, const std::string& name) {
  const std::unique_ptr<SerialDevice> device = NewSerialDevice();
  if (!device->Open(port))
    throw Failure(kExitDevice, "cannot open port " + name +
                                   ": it does not exist or another program holds it; check the "
                                   "port name and that no other program uses it");
  device->Close();
}

}  // namespace s470::tool
