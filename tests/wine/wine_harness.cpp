#include "wine_harness.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace s470::wine {

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string WinePrefix() {
  return WineBin() + "/../wineprefix";
}

// The start of a command that runs a program under Wine in the build's prefix.
std::string UnderWine() {
  return Quote(std::string(S470_SOURCE_DIR) + "/cmake/wine-run.sh") + " " + Quote(WinePrefix());
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
  std::istringstream in(*all);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line.empty() || line.back() != '\r' ? line : line.substr(0, line.size() - 1));
  return lines;
}

}  // namespace

Lines HostRun::Starting(const Lines& starts) const {
  Lines found;
  for (const auto& l : lines)
    if (std::any_of(starts.begin(), starts.end(),
                    [&](const auto& s) { return l.rfind(s, 0) == 0; }))
      found.push_back(l);
  return found;
}

std::string WineBin() {
  const char* build = std::getenv("S470_WINE_BUILD");
  return build != nullptr && std::string(build) == "win64" ? S470_WIN64_BIN : S470_WIN32_BIN;
}
HostRun RunHost(const std::string& dir, const std::string& commands, const std::string& script,
                const Lines& environment, const std::string& bin) {
  std::string cmd = "cd " + Quote(dir) + " && env";
  for (const auto& e : environment) cmd += " " + Quote(e);
  cmd += " " + UnderWine() + " " + Quote(bin + "/host.exe");
  if (!script.empty()) {
    const std::string steps = std::regex_replace(script, std::regex("; "), "\n");
    WriteFileBytes(dir + "/script.txt", std::vector<uint8_t>(steps.begin(), steps.end()));
    cmd += " --script script.txt";
  }
  std::istringstream words(commands);
  for (std::string word; words >> word;) cmd += " " + Quote(word);
  HostRun run;
  run.lines = Capture(cmd + " 2>/dev/null </dev/null", &run.output);
  // A host that did not reach its end did not really run: nothing it printed can be judged.
  if (std::find(run.lines.begin(), run.lines.end(), "host end") == run.lines.end())
    throw std::runtime_error("the host did not end:\n" + run.output);
  return run;
}

std::string ProgramFolder(const std::string& dir, Lines files) {
  std::filesystem::create_directories(dir + "/bin");
  files.insert(files.end(), {"host.exe", "s470_pc.dll"});
  for (const auto& f : files) std::filesystem::copy_file(WineBin() + "/" + f, dir + "/bin/" + f);
  return dir + "/bin";
}

std::string ComLinkPath(int com) {
  if (!std::filesystem::exists(WinePrefix() + "/.s470-ready")) RunHost(FreshDir("prefix"), "");
  return WinePrefix() + "/dosdevices/com" + std::to_string(com);
}

std::string FreshDir(const std::string& name) {
  const std::string dir = std::string(S470_NATIVE_BIN) + "/wine-work/" + name;
  if (std::system(("rm -rf " + Quote(dir) + " && mkdir -p " + Quote(dir)).c_str()) != 0)
    throw std::runtime_error("cannot make " + dir);
  return dir;
}

Lines WineReg(const Lines& arguments) {
  std::string cmd = UnderWine() + " reg", output;
  for (const auto& a : arguments) cmd += " " + Quote(a);
  return Capture(cmd + " 2>&1 </dev/null", &output);
}

std::string DriverSettings(const std::string& slavePath) {
  const std::string fields = "'(eof|start|stop) = [^;]*|-?(crtscts|ixon|ixoff)\\b'";
  std::string shown;
  Capture("stty -F " + Quote(slavePath) + " -a | grep -oE " + fields + " | paste -sd ' '", &shown);
  return shown.substr(0, shown.find('\n'));
}

void LeaveDriverSettings(const std::string& slavePath) {
  const std::string cmd =
      "stty -F " + Quote(slavePath) + " ixon ixoff crtscts start ! stop '#' eof ^Z";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("cannot set " + slavePath);
}

}  // namespace s470::wine
