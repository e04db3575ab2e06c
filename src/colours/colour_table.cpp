#include "colours/colour_table.h"

#include <cstring>

#include "colours/colour_platform.h"
#include "lang/lang_api.h"

namespace s470 {

namespace {

// The key of the maker's PC application, which owns the colours.
constexpr char16_t kColourKey[] = u"SOFTWARE\\ORV\\MERIDEX";
constexpr char16_t kColourKeyClass[] = u"Meridex";

// What RegEnumValue is offered for each value: name in characters, data in bytes.
constexpr uint32_t kNameCapacity = 500;
constexpr uint32_t kDataCapacity = 500;
// The parse never looks further than this, whatever length it is given.
constexpr size_t kParseLimit = 1000;

constexpr long kErrorMoreData = 234;

// Control-colour messages (WM_CTLCOLOR...).
constexpr unsigned kCtlColorMsgBox = 0x0132;
constexpr unsigned kCtlColorEdit = 0x0133;
constexpr unsigned kCtlColorListBox = 0x0134;
constexpr unsigned kCtlColorBtn = 0x0135;
constexpr unsigned kCtlColorDlg = 0x0136;
constexpr unsigned kCtlColorScrollBar = 0x0137;
constexpr unsigned kCtlColorStatic = 0x0138;

struct Role {
  Colour colour = 0;
  Brush brush = 0;  // 0: the role has no colour in this call
};
Role g_roles[kColourRoles];
uint16_t g_wide = 0;

// Colours of roles 0 to 7 when the registry has none.
constexpr Colour kDefaults[8] = {0xF2FFFF, 0xD0E9F0, 0xD0E9F0, 0x000000,
                                 0x000000, 0xF2FFFF, 0xC8D0D4, 0xC8D0D4};

void SetRole(int role, Colour colour) {
  // Two values naming the same role ("COLOR 05" and "COLOR 05 old"): the last one counts and
  // the first one's brush is not left behind.
  if (g_roles[role].brush != 0) DeleteColourBrush(g_roles[role].brush);
  g_roles[role].colour = colour;
  g_roles[role].brush = CreateColourBrush(colour);
}

void DeleteBrushes() {
  for (Role& role : g_roles) {
    if (role.brush != 0) DeleteColourBrush(role.brush);
    role.brush = 0;
  }
}

// The first eight characters of a wide value name as 8-bit text, which is all that "COLOR xx"
// needs; characters beyond 8 bits cannot be part of it.
void NameStart(const char16_t* name, char (&out)[9]) {
  size_t n = 0;
  for (; n < 8 && name[n] != 0; ++n) out[n] = name[n] < 0x100 ? static_cast<char>(name[n]) : '?';
  out[n] = 0;
}

// "R G B " into out; its length. No heap: this runs at the end of every window export.
size_t WriteColourText(Colour colour, char (&out)[16]) {
  size_t n = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    const unsigned component = colour >> shift & 0xFF;
    if (component >= 100) out[n++] = static_cast<char>('0' + component / 100);
    if (component >= 10) out[n++] = static_cast<char>('0' + component / 10 % 10);
    out[n++] = static_cast<char>('0' + component % 10);
    out[n++] = ' ';
  }
  out[n] = 0;
  return n;
}

void ReadColours(LangApi& lang, RegKey key) {
  for (uint32_t index = 0;; ++index) {
    char16_t name[kNameCapacity + 1] = {};
    uint8_t data[2 * kDataCapacity] = {};
    uint32_t nameLength = kNameCapacity;
    uint32_t dataLength = kDataCapacity;
    uint32_t type = 0;
    const long result = lang.EnumValue(key, index, name, &nameLength, &type, data, &dataLength);
    // A value too long for the buffers is not a colour; the values after it still are.
    if (result == kErrorMoreData) continue;
    if (result != 0) return;
    name[nameLength < kNameCapacity ? nameLength : kNameCapacity] = 0;
    char start[9] = {};
    NameStart(name, start);
    const int role = ColourRoleOfName(start);
    if (role < 0) continue;
    bool wide = false;
    const Colour colour =
        ParseColourText(data, dataLength < kDataCapacity ? dataLength : kDataCapacity, &wide);
    if (wide) g_wide = 1;
    SetRole(role, colour);
  }
}

}  // namespace

int ColourRoleOfName(const char* name) {
  if (std::strncmp(name, "COLOR ", 6) != 0) return -1;
  const char tens = name[6];
  if (tens < '0' || tens > '9') return -1;
  const char units = name[7];
  if (units < '0' || units > '9') return -1;
  const int role = 10 * (tens - '0') + (units - '0');
  return role < kColourRoles ? role : -1;
}

Colour ParseColourText(const uint8_t* data, size_t length, bool* wide) {
  // Red, green and blue in decimal, each followed by a blank. Zero bytes are stepped over (wide
  // text); any byte that is not a blank counts as a digit, as it always has.
  uint32_t numbers[3] = {0, 0, 0};
  int field = 0;
  if (length > kParseLimit) length = kParseLimit;
  for (size_t position = 0; position < length; ++position) {
    if (data[position] == 0) {
      *wide = true;
      if (++position >= length) break;
    }
    const uint8_t c = data[position];
    if (c == ' ') {
      if (++field > 2) break;
    } else {
      numbers[field] = numbers[field] * 10 + static_cast<uint32_t>(c - '0');
    }
  }
  return (numbers[0] & 0xFF) | (numbers[1] & 0xFF) << 8 | (numbers[2] & 0xFF) << 16;
}

std::string ColourText(Colour colour) {
  char text[16];
  return std::string(text, WriteColourText(colour, text));
}

void LoadColours() {
  DeleteBrushes();  // left from a call that did not end properly, they would otherwise be lost
  g_wide = RunsOnNtPlatform() ? 1 : 0;
  LangApi* lang = Lang();
  RegKey key = nullptr;
  if (lang != nullptr && lang->OpenKey(kHkeyLocalMachine, kColourKey, 0, kKeyQueryValue, &key) == 0) {
    ReadColours(*lang, key);
    lang->CloseKey(key);
  }
  for (int role = 0; role < 8; ++role)
    if (g_roles[role].brush == 0) SetRole(role, kDefaults[role]);
}

void SaveColours() {
  LangApi* lang = Lang();
  RegKey key = nullptr;
  uint32_t disposition = 0;
  if (lang != nullptr && lang->CreateKey(kHkeyLocalMachine, kColourKey, kColourKeyClass,
                                         kKeyAllAccess, &key, &disposition) == 0) {
    for (int role = 0; role < kColourRoles; ++role) {
      if (g_roles[role].brush == 0) continue;
      const char16_t name[] = {u'C', u'O', u'L', u'O', u'R', u' ',
                               static_cast<char16_t>(u'0' + role / 10),
                               static_cast<char16_t>(u'0' + role % 10), 0};
      char text[16];
      const size_t length = WriteColourText(g_roles[role].colour, text);
      // The text with its NUL, 8-bit or UTF-16LE; the zero bytes after it stay readable for a
      // registry that looks past the given length for a wide NUL.
      uint8_t data[64] = {};
      uint32_t dataLength = 0;
      if (g_wide == 1) {
        for (size_t i = 0; i < length; ++i) data[2 * i] = static_cast<uint8_t>(text[i]);
        dataLength = static_cast<uint32_t>(2 * length + 1);
      } else {
        std::memcpy(data, text, length);
        dataLength = static_cast<uint32_t>(length + 1);
      }
      lang->SetValue(key, name, kRegSz, data, dataLength);
    }
    lang->CloseKey(key);
  }
  DeleteBrushes();
}

void GetColour(int16_t role, Colour* colour, Brush* brush) {
  const bool known = role >= 0 && role < kColourRoles;
  if (colour != nullptr) *colour = known ? g_roles[role].colour : 0;
  if (brush != nullptr) *brush = known ? g_roles[role].brush : 0;
}

int ColourRoleForMessage(unsigned message) {
  switch (message) {
    case kCtlColorBtn:
      return 6;
    case kCtlColorEdit:
    case kCtlColorListBox:
      return 5;
    case kCtlColorScrollBar:
      return 7;
    case kCtlColorDlg:
    case kCtlColorStatic:
      return 1;
    case kCtlColorMsgBox:
    default:
      return -1;
  }
}

uint16_t GetWideRegistryFlag() { return g_wide; }

}  // namespace s470
