#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "lang/text16.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

// "COM3" or "3": the number, else 0.
int ComNumber(const std::string& name) {
  std::string digits = name;
  if (digits.size() > 3 && (digits.compare(0, 3, "COM") == 0 || digits.compare(0, 3, "com") == 0))
    digits = digits.substr(3);
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return 0;
  return std::atoi(digits.c_str());
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return {argv, argv + argc};
}

bool IsTerminal(std::FILE* stream) {
  return ::isatty(::fileno(stream)) == 1;
}

// The serial layer opens port n at the path in S470_COMn (else /dev/ttyS<n-1>): a path the user
// names becomes port 1.
bool ResolvePort(const std::string& name, int16_t* port, std::string* why) {
  if (name.find('/') != std::string::npos) {
    ::setenv("S470_COM1", name.c_str(), 1);
    *port = 1;
    return true;
  }
  const int n = ComNumber(name);
  if (n < 1 || n > 255) {
    *why = "'" + name + "' is no port: give its device path, such as /dev/ttyUSB0";
    return false;
  }
  *port = static_cast<int16_t>(n);
  return true;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

FileHandle OpenSlotFile(const char16_t* path) {
  const int fd = ::open(ToUtf8(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  return fd < 0 ? kBadFile : fd;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0;
}

bool ChangeDirectory(const std::string& path) {
  return ::chdir(path.c_str()) == 0;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
  std::cerr << prompt << std::flush;
  termios old{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &old) == 0;
  if (terminal) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  const bool got = static_cast<bool>(std::getline(std::cin, *line));
  if (terminal) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
  std::cerr << '\n';
  return got;
}

}  // namespace s470::tool
