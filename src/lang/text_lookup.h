// Texts by number, with the selected brand's names put in place of the maker's.
#pragma once

#include <cstdint>

namespace s470 {

void SetBrand(uint16_t brand);
uint16_t GetBrand();

// Text `number` in the current language; valid until the next GetText. Never null.
const char16_t* GetText(int32_t number);

}  // namespace s470
