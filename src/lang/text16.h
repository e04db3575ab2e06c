// Small helpers for the NUL-terminated UTF-16 texts the Language DLL deals in.
#pragma once

#include <cstddef>
#include <string>

namespace s470 {

size_t Length16(const char16_t* text);  // 0 for null
// 8-bit text widened character by character (the system's fixed texts are ASCII).
std::u16string Widen(const char* text);
// UTF-16 to UTF-8, for file names and logs on POSIX.
std::string ToUtf8(const char16_t* text);
std::string ToUtf8(const std::u16string& text);
std::u16string FromUtf8(const std::string& text);

}  // namespace s470
