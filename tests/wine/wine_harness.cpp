#include "wine_harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>

namespace s470::wine {

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string WineRun() {
  return Quote(std::string(S470_SOURCE_DIR) + "/cmake/wine-run.sh");
}

std::string WinePrefix() {
  return WineBin() + "/../wineprefix";
}

// Runs a shell command; its standard output split into lines (CR LF or LF).
Lines Capture(const std::string& command, std::string* all) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) all->append(buffer.data(), n);
  pclose(pipe);
  Lines lines;
  for (size_t start = 0; start < all->size();) {
    const size_t end = std::min(all->find('\n', start), all->size());
    lines.push_back(all->substr(start, end - start));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    start = end + 1;
  }
  return lines;
}

}  // namespace

bool HostRun::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

Lines HostRun::Starting(const Lines& starts) const {
  Lines found;
  for (const auto& l : lines)
    if (std::any_of(starts.begin(), starts.end(),
                    [&](const auto& s) { return l.rfind(s, 0) == 0; }))
      found.push_back(l);
  return found;
}

Lines HostRun::Results() const {
  Lines results;
  for (const auto& l : lines)
    if (l.find(" -> ") != std::string::npos && l.rfind("DIALOG ", 0) != 0) results.push_back(l);
  return results;
}

std::string WineBin() {
  const char* build = std::getenv("S470_WINE_BUILD");
  return build != nullptr && std::string(build) == "win64" ? S470_WIN64_BIN : S470_WIN32_BIN;
}
HostRun RunHost(const std::string& dir, const std::string& commands, std::string script,
                const Lines& environment, const std::string& bin) {
  std::string cmd = "cd " + Quote(dir) + " && env";
  for (const auto& e : environment) cmd += " " + Quote(e);
  cmd += " " + WineRun() + " " + Quote(WinePrefix()) + " " + Quote(bin + "/host.exe");
  if (!script.empty()) {
    for (size_t at = 0; (at = script.find("; ", at)) != std::string::npos;)
      script.replace(at, 2, "\n");
    WriteFileBytes(dir + "/script.txt", std::vector<uint8_t>(script.begin(), script.end()));
    cmd += " --script script.txt";
  }
  std::istringstream words(commands);
  for (std::string word; words >> word;) cmd += " " + Quote(word);
  HostRun run;
  run.lines = Capture(cmd + " 2>/dev/null </dev/null", &run.output);
  for (const auto& line : run.lines) {
    if (line.rfind("MSGBOX ", 0) == 0) run.messageBoxes.push_back(line.substr(7));
    if (line == "host end") run.ended = true;
  }
  return run;
}

std::string ProgramFolder(const std::string& dir, const Lines& files) {
  std::string cmd = "mkdir -p " + Quote(dir + "/bin") + " && cd " + Quote(WineBin()) +
                    " && cp host.exe s470_pc.dll";
  for (const auto& f : files) cmd += " " + Quote(f);
  if (std::system((cmd + " " + Quote(dir + "/bin")).c_str()) != 0)
    throw std::runtime_error("cannot make " + dir + "/bin");
  return dir + "/bin";
}

std::string ComLinkPath(int com) {
  struct stat st {};
  if (stat((WinePrefix() + "/.s470-ready").c_str(), &st) != 0) RunHost(FreshDir("prefix"), "");
  return WinePrefix() + "/dosdevices/com" + std::to_string(com);
}

std::string FreshDir(const std::string& name) {
  const std::string dir = std::string(S470_NATIVE_BIN) + "/wine-work/" + name;
  if (std::system(("rm -rf " + Quote(dir) + " && mkdir -p " + Quote(dir)).c_str()) != 0)
    throw std::runtime_error("cannot make " + dir);
  return dir;
}

Lines WineReg(const Lines& arguments) {
  std::string cmd = WineRun() + " " + Quote(WinePrefix()) + " reg", output;
  for (const auto& a : arguments) cmd += " " + Quote(a);
  return Capture(cmd + " 2>&1 </dev/null", &output);
}

std::string DriverSettings(const std::string& slavePath) {
  const std::string fields = "'(eof|start|stop) = [^;]*|-?(crtscts|ixon|ixoff)\\b'";
  std::string all;
  const Lines shown = Capture(
      "stty -F " + Quote(slavePath) + " -a | grep -oE " + fields + " | paste -sd ' '", &all);
  return shown.empty() ? "" : shown[0];
}

void LeaveDriverSettings(const std::string& slavePath) {
  const std::string cmd =
      "stty -F " + Quote(slavePath) + " ixon ixoff crtscts start ! stop '#' eof ^Z";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot set " + slavePath);
}

}  // namespace s470::wine
