#include "programming/firmware_dialogs.h"

#include <cstring>

namespace s470 {

namespace {

char g_sharedCode[4] = {};

// Upper case in place, up to the end of the text or its first byte of 0x80 or above.
void ToUpper(std::string& text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
}

}  // namespace

char* SharedCodeBuffer() {
  return g_sharedCode;
}

std::string SharedCodeText() {
  return std::string(g_sharedCode, strnlen(g_sharedCode, sizeof g_sharedCode));
}

bool AccessCodeMatches(const std::string& typed) {
  // Compared position by position over the stored code and its terminating zero.
  std::string wanted = kAccessCode, given = typed.substr(0, typed.find('\0'));
  ToUpper(wanted);
  ToUpper(given);
  for (size_t i = 0; i <= wanted.size(); ++i) {
    const char w = wanted.c_str()[i];
    const char g = i < given.size() ? given[i] : '\0';
    if (w != g) return false;
  }
  return true;
}

std::vector<std::string> ModuleChoiceEntries(uint16_t brand) {
  static const char* const kModelWords[] = {"S470", "HL5100", "S470", "KW380", "R470"};
  // A brand number beyond the table shows the first entry twice.
  std::vector<std::string> entries = {"QLB-mc1", brand <= 4 ? kModelWords[brand] : "QLB-mc1"};
  if (brand == 0 || brand == 4) entries.push_back("R/S470-ae1/im2");
  return entries;
}

}  // namespace s470
