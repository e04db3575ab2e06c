#include "wine_harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace s470::wine {

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

bool HostRun::Has(const std::string& line) const {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

std::string WineBuild() {
  const char* build = std::getenv("S470_WINE_BUILD");
  return build != nullptr && std::string(build) == "win64" ? "win64" : "win32";
}
std::string WineBin() { return WineBuild() == "win64" ? S470_WIN64_BIN : S470_WIN32_BIN; }
std::string WinePrefix() { return WineBin() + "/../wineprefix"; }

HostRun RunHost(const std::vector<std::string>& commands, const std::string& cwd,
                const std::vector<std::string>& environment) {
  return RunHostIn(WineBin(), commands, cwd, environment);
}

HostRun RunHostIn(const std::string& bin, const std::vector<std::string>& commands,
                  const std::string& cwd, const std::vector<std::string>& environment) {
  std::string cmd = "mkdir -p " + Quote(cwd) + " && cd " + Quote(cwd) + " && env";
  for (const auto& e : environment) cmd += " " + Quote(e);
  cmd += " " + Quote(std::string(S470_SOURCE_DIR) + "/cmake/wine-run.sh") + " " +
         Quote(WinePrefix()) + " " + Quote(bin + "/host.exe");
  for (const auto& c : commands) cmd += " " + Quote(c);
  cmd += " 2>/dev/null </dev/null";
  HostRun run;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  size_t start = 0;
  while (start < run.output.size()) {
    size_t end = run.output.find('\n', start);
    if (end == std::string::npos) end = run.output.size();
    std::string line = run.output.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("MSGBOX ", 0) == 0) run.messageBoxes.push_back(line.substr(7));
    if (line == "host end") run.ended = true;
    run.lines.push_back(line);
    start = end + 1;
  }
  return run;
}

std::string ComLinkPath(int com) {
  struct stat st {};
  if (stat((WinePrefix() + "/.s470-ready").c_str(), &st) != 0) RunHost({}, FreshDir("prefix"));
  return WinePrefix() + "/dosdevices/com" + std::to_string(com);
}

std::string FreshDir(const std::string& name) {
  const std::string dir = std::string(S470_NATIVE_BIN) + "/wine-work/" + WineBuild() + "/" + name;
  if (std::system(("rm -rf " + Quote(dir) + " && mkdir -p " + Quote(dir)).c_str()) != 0)
    throw std::runtime_error("cannot make " + dir);
  return dir;
}

std::string WineReg(const std::vector<std::string>& arguments, int* exitCode) {
  std::string cmd = Quote(std::string(S470_SOURCE_DIR) + "/cmake/wine-run.sh") + " " +
                    Quote(WinePrefix()) + " reg";
  for (const auto& a : arguments) cmd += " " + Quote(a);
  cmd += " 2>&1 </dev/null";
  std::string output;
  FILE* pipe = popen(cmd.c_str(), "r");
  if (pipe == nullptr) return output;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  const int status = pclose(pipe);
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

std::map<std::string, RegEntry> QueryKey(const std::string& key) {
  // Lines of a value: four blanks, name, four blanks, type, four blanks, data.
  std::map<std::string, RegEntry> values;
  int code = -1;
  const std::string output = WineReg({"query", key}, &code);
  if (code != 0) return values;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("    ", 0) != 0) continue;
    const size_t typeAt = line.find("    REG_", 4);
    if (typeAt == std::string::npos) continue;
    const size_t dataAt = line.find("    ", typeAt + 4);
    RegEntry entry;
    entry.type = line.substr(typeAt + 4, dataAt == std::string::npos ? std::string::npos
                                                                       : dataAt - typeAt - 4);
    if (dataAt != std::string::npos) entry.data = line.substr(dataAt + 4);
    values[line.substr(4, typeAt - 4)] = entry;
  }
  return values;
}

void AppendToMachineRegistry(const std::string& lines) {
  const std::string env = "WINEPREFIX=" + Quote(WinePrefix()) + " WINEDEBUG=-all ";
  if (std::system((env + "wineserver -k >/dev/null 2>&1; " + env + "wineserver -w").c_str()) != 0) {
  }
  {
    std::ofstream out(WinePrefix() + "/system.reg", std::ios::binary | std::ios::app);
    out << "\n" << lines << "\n";
  }
  // Start the server again here, with no output: the services it starts on the first run live on
  // with that run's output and would hold a caller's pipe open until the server ends.
  const std::string quiet = Quote(std::string(S470_SOURCE_DIR) + "/cmake/wine-run.sh") + " " +
                            Quote(WinePrefix()) + " reg query 'HKLM\\Software' >/dev/null 2>&1 </dev/null";
  if (std::system(quiet.c_str()) != 0) {
  }
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace s470::wine
