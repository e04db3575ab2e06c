#include "wine_harness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

// Runs a shell command; its standard output split into lines (CR LF or LF).
Lines Capture(const std::string& command, std::string* all, int* exitCode) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {};
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) all->append(buffer.data(), n);
  const int status = pclose(pipe);
  if (exitCode != nullptr) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  Lines lines;
  for (size_t start = 0; start < all->size();) {
    const size_t end = std::min(all->find('\n', start), all->size());
    lines.push_back(all->substr(start, end - start));
    if (!lines.back().empty() && lines.back().back() == '\r') lines.back().pop_back();
    start = end + 1;
  }
  return lines;
}

termios SlaveSettings(const std::string& slavePath, int* fd) {
  termios t{};
  *fd = open(slavePath.c_str(), O_RDWR | O_NOCTTY);
  if (*fd < 0 || tcgetattr(*fd, &t) != 0) throw std::runtime_error("cannot read " + slavePath);
  return t;
}

}  // namespace

bool HostRun::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
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
std::string WinePrefix() {
  return WineBin() + "/../wineprefix";
}

HostRun RunHost(const Lines& commands, const std::string& cwd, const Lines& environment,
                const std::string& bin) {
  std::string cmd = "mkdir -p " + Quote(cwd) + " && cd " + Quote(cwd) + " && env";
  for (const auto& e : environment) cmd += " " + Quote(e);
  cmd += " " + WineRun() + " " + Quote(WinePrefix()) + " " + Quote(bin + "/host.exe");
  for (const auto& c : commands) cmd += " " + Quote(c);
  HostRun run;
  run.lines = Capture(cmd + " 2>/dev/null </dev/null", &run.output, nullptr);
  for (const auto& line : run.lines) {
    if (line.rfind("MSGBOX ", 0) == 0) run.messageBoxes.push_back(line.substr(7));
    if (line == "host end") run.ended = true;
  }
  return run;
}

HostRun RunScript(const std::string& dir, std::string script, const Lines& commands,
                  const Lines& environment, const std::string& bin) {
  for (size_t at = 0; (at = script.find("; ", at)) != std::string::npos;)
    script.replace(at, 2, "\n");
  WriteBytes(dir + "/script.txt", std::vector<uint8_t>(script.begin(), script.end()));
  Lines all = {"--script", "script.txt"};
  all.insert(all.end(), commands.begin(), commands.end());
  return RunHost(all, dir, environment, bin);
}

Lines Words(const std::string& text) {
  std::istringstream in(text);
  return Lines(std::istream_iterator<std::string>(in), std::istream_iterator<std::string>());
}

std::string ComLinkPath(int com) {
  struct stat st {};
  if (stat((WinePrefix() + "/.s470-ready").c_str(), &st) != 0) RunHost({}, FreshDir("prefix"));
  return WinePrefix() + "/dosdevices/com" + std::to_string(com);
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
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Lines WineReg(const Lines& arguments, int* exitCode) {
  std::string cmd = WineRun() + " " + Quote(WinePrefix()) + " reg", output;
  for (const auto& a : arguments) cmd += " " + Quote(a);
  return Capture(cmd + " 2>&1 </dev/null", &output, exitCode);
}

std::map<std::string, std::string> QueryKey(const std::string& key) {
  // Lines of a value: four blanks, name, four blanks, type, four blanks, data.
  std::map<std::string, std::string> values;
  int code = -1;
  const Lines lines = WineReg({"query", key}, &code);
  for (const auto& line : code == 0 ? lines : Lines{}) {
    const size_t typeAt = line.find("    REG_", 4);
    if (line.rfind("    ", 0) != 0 || typeAt == std::string::npos) continue;
    std::string typeAndData = line.substr(typeAt + 4);
    const size_t gap = typeAndData.find("    ");
    if (gap != std::string::npos) typeAndData.replace(gap, 4, " ");
    values[line.substr(4, typeAt - 4)] = typeAndData;
  }
  return values;
}

std::string DriverSettings(const std::string& slavePath) {
  int fd = -1;
  const termios t = SlaveSettings(slavePath, &fd);
  close(fd);
  char text[80];
  std::snprintf(text, sizeof text, "flow%s%s%s xon %02x xoff %02x eof %02x",
                (t.c_iflag & IXON) != 0 ? " IXON" : "", (t.c_iflag & IXOFF) != 0 ? " IXOFF" : "",
                (t.c_cflag & CRTSCTS) != 0 ? " CRTSCTS" : "", t.c_cc[VSTART], t.c_cc[VSTOP],
                t.c_cc[VEOF]);
  return text;
}

void LeaveDriverSettings(const std::string& slavePath) {
  int fd = -1;
  termios t = SlaveSettings(slavePath, &fd);
  t.c_iflag |= IXON | IXOFF;
  t.c_cflag |= CRTSCTS;
  t.c_cc[VSTART] = 0x21;
  t.c_cc[VSTOP] = 0x23;
  t.c_cc[VEOF] = 0x1A;
  tcsetattr(fd, TCSANOW, &t);
  close(fd);
}

}  // namespace s470::wine
