// The frame around every window export, and the setup-file exports' portable half.
#pragma once

#include <cstdint>
#include <functional>

#include "lang/lang_api.h"

namespace s470 {

// Language/brand word: bits 0-7 language, bits 8-15 brand, the rest ignored.
inline int LanguageOf(uint32_t word) { return static_cast<int>(word & 0xFF); }
inline uint16_t BrandOf(uint32_t word) { return static_cast<uint16_t>((word >> 8) & 0xFF); }

// Loads the language, records the brand, loads the colours, runs work, saves the colours and
// releases the language. Without a usable Language DLL nothing of the work is done: a fixed
// message names the missing DLL and `failure` is returned.
int16_t RunCallFrame(Window owner, uint32_t languageBrand, int16_t failure,
                     const std::function<int16_t()>& work);

// The regular-file flag: 0 when the setup was opened from a path ending in "tmp", else 1.
uint16_t GetRegularFileFlag();

// RS470_OpenSetup: opens the setup file into slot 0 with size 7500.
int16_t OpenSetup(const char16_t* path);

}  // namespace s470
