// Texts by number, with the selected brand's names put in place of the maker's.
#pragma once

#include <cstddef>
#include <cstdint>

#include "lang/lang_api.h"

namespace s470 {

void SetBrand(uint16_t brand);
uint16_t GetBrand();

// Both lookup buffers hold this many wide characters, the NUL included.
constexpr size_t kTextBufferSize = 1000;

// Text `number` in the current language; valid until the next GetText. Never null: a number
// the Language DLL does not know gives an empty text.
//
// Brand 0 returns the Language DLL's own text. Brands 1 to 4 put the brand's names in place of
// "Ornex" and "ORV" (the maker) and "S470" (the model); higher brand numbers have no names, so
// those words are cut out. A text that would grow past the buffer is cut at its end.
const char16_t* GetText(int32_t number);

// Text `number` in a message box of the Language DLL (Lang_MessageBox); the 8-bit caption is
// converted, null for none.
void ShowTextBox(Window owner, int32_t number, const char* caption, unsigned style);

}  // namespace s470
