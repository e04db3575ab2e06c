#include "wine_harness.h"

#include <fcntl.h>
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

std::string Win64Bin() { return S470_WIN64_BIN; }
std::string WinePrefix() { return std::string(S470_WIN64_BIN) + "/../wineprefix"; }

HostRun RunHost(const std::vector<std::string>& commands, const std::string& cwd,
                const std::vector<std::string>& environment) {
  return RunHostIn(Win64Bin(), commands, cwd, environment);
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

PtyPort::PtyPort(int comNumber) : com_(comNumber) {
  master_ = posix_openpt(O_RDWR | O_NOCTTY);
  if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
    throw std::runtime_error("no pseudo-terminal");
  slavePath_ = ptsname(master_);
  // Raw master side: bytes pass unchanged in both directions.
  termios tio{};
  tcgetattr(master_, &tio);
  cfmakeraw(&tio);
  tcsetattr(master_, TCSANOW, &tio);
  slaveKeeper_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  if (slaveKeeper_ >= 0) {
    tcgetattr(slaveKeeper_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slaveKeeper_, TCSANOW, &tio);
  }
  const std::string dosdevices = WinePrefix() + "/dosdevices";
  if (std::system(("mkdir -p " + Quote(dosdevices)).c_str()) != 0) {
  }
  link_ = dosdevices + "/com" + std::to_string(comNumber);
  unlink(link_.c_str());
  if (symlink(slavePath_.c_str(), link_.c_str()) != 0) throw std::runtime_error("cannot link " + link_);
}

PtyPort::~PtyPort() {
  unlink(link_.c_str());
  if (slaveKeeper_ >= 0) close(slaveKeeper_);
  if (master_ >= 0) close(master_);
}

std::string FreshDir(const std::string& name) {
  const std::string dir = std::string(S470_NATIVE_BIN) + "/wine-work/" + name;
  if (std::system(("rm -rf " + Quote(dir) + " && mkdir -p " + Quote(dir)).c_str()) != 0)
    throw std::runtime_error("cannot make " + dir);
  return dir;
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
