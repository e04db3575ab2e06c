// What the command-line tool needs from the operating system beyond the serial layer:
// tool_platform_posix.cpp and tool_platform_win32.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "lang/lang_api.h"

namespace s470::tool {

// The program's arguments as UTF-8 (on Windows taken from the wide command line).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

bool IsTerminal(std::FILE* stream);

// A port as the user names it, as the port number the serial layer opens: a device path such as
// /dev/ttyUSB0 on Linux, COM3 or 3 on Windows. false with a reason when it is no port name.
bool ResolvePort(const std::string& name, int16_t* port, std::string* why);

// fopen with a UTF-8 path.
std::FILE* OpenFile(const std::string& path, const char* mode);
// Read and write, shared, created when missing: what file slots open.
FileHandle OpenSlotFile(const char16_t* path);
bool FileExists(const std::string& path);
bool RemoveFile(const std::string& path);
// Makes the folder the current one (where firmware files are looked up by name).
bool ChangeDirectory(const std::string& path);

// A line typed at the terminal without echo (the access code); false at end of input.
bool ReadSecretLine(const std::string& prompt, std::string* line);

}  // namespace s470::tool
