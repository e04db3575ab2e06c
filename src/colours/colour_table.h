// The dialog colours: 20 colour roles kept as "COLOR xx" string values under
// HKEY_LOCAL_MACHINE\SOFTWARE\ORV\MERIDEX, read and written through the Language DLL.
//
// Roles the dialogs of this system use: 1 dialog and static background, 3 text of the firmware
// and access-code dialogs, 5 edit and list-box background, 6 button background, 7 scroll-bar
// background. The rest are kept for the maker's other programs and saved back unchanged.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace s470 {

constexpr int kColourRoles = 20;
using Colour = uint32_t;   // Windows colour value: red bits 0-7, green 8-15, blue 16-23
using Brush = uintptr_t;   // HBRUSH value; 0 = none

// Reads the colours from the registry, fills in the defaults of roles 0 to 7 and creates one
// brush per colour. Called at the start of every window export.
void LoadColours();
// Writes every colour that has a brush back to the registry and deletes the brushes. Called at
// the end of every window export.
void SaveColours();
// The role's colour and brush (0 outside a window export or for a role without a colour).
// A role outside 0 to 19 gives colour 0 and no brush.
void GetColour(int16_t role, Colour* colour, Brush* brush);

// LoadColours on construction, SaveColours on destruction: brackets the work of a window export,
// so the brushes are deleted however the work ends.
struct ColourScope {
  ColourScope() { LoadColours(); }
  ~ColourScope() { SaveColours(); }
  ColourScope(const ColourScope&) = delete;
  ColourScope& operator=(const ColourScope&) = delete;
};

// Colour role for a control-colour message (WM_CTLCOLOR...), or -1 for any other message and
// for WM_CTLCOLORMSGBOX.
int ColourRoleForMessage(unsigned message);

// 1 when the colour values are written as UTF-16LE text, 0 for 8-bit text.
uint16_t GetWideRegistryFlag();

// --- The registry value format, exposed for tests ---

// Parses a value's data ("R G B ", 8-bit or UTF-16LE) into a colour value. Sets *wide to true
// when a zero byte is met. Never reads outside data[0..length).
Colour ParseColourText(const uint8_t* data, size_t length, bool* wide);
// The value name's role: "COLOR " and two decimal digits ("COLOR 07" -> 7; what follows the
// digits does not count). -1 when the name is not of that form or the number is above 19.
int ColourRoleOfName(const char* name);
// "R G B " for a colour value.
std::string ColourText(Colour colour);

}  // namespace s470
