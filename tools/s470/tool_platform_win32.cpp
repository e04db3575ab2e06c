#include <windows.h>
// shellapi.h needs the declarations of windows.h first.
#include <io.h>
#include <shellapi.h>

#include <iostream>

#include "lang/text16.h"
#include "tool_platform.h"

namespace s470::tool {

namespace {

std::wstring Wide(const std::string& utf8) {
  const std::u16string w = FromUtf8(utf8);
  return std::wstring(w.begin(), w.end());
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int n = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < n; ++i) {
    const std::u16string w(reinterpret_cast<const char16_t*>(wide[i]));
    args.push_back(ToUtf8(w));
  }
  LocalFree(wide);
  return args;
}

bool IsTerminal(std::FILE* stream) {
  return _isatty(_fileno(stream)) != 0;
}

// "COM3", "com3", "\\.\COM12" or "3".
bool ResolvePort(const std::string& name, int16_t* port, std::string* why) {
  std::string digits = name;
  if (digits.compare(0, 4, "\\\\.\\") == 0) digits = digits.substr(4);
  if (digits.size() > 3 && _strnicmp(digits.c_str(), "COM", 3) == 0) digits = digits.substr(3);
  const bool number = !digits.empty() && digits.size() <= 3 &&
                      digits.find_first_not_of("0123456789") == std::string::npos;
  const int n = number ? std::atoi(digits.c_str()) : 0;
  if (n < 1 || n > 255) {
    *why = "'" + name + "' is no port: give it as COM3 or 3";
    return false;
  }
  *port = static_cast<int16_t>(n);
  return true;
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
}

FileHandle OpenSlotFile(const char16_t* path) {
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path),
                                  GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return file == INVALID_HANDLE_VALUE ? kBadFile : reinterpret_cast<FileHandle>(file);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) != FALSE;
}

bool ChangeDirectory(const std::string& path) {
  return SetCurrentDirectoryW(Wide(path).c_str()) != FALSE;
}

bool ReadSecretLine(const std::string& prompt, std::string* line) {
  std::cerr << prompt << std::flush;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = GetConsoleMode(in, &mode) != FALSE;
  if (console) SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  const bool got = static_cast<bool>(std::getline(std::cin, *line));
  if (console) SetConsoleMode(in, mode);
  std::cerr << '\n';
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return got;
}

}  // namespace s470::tool
