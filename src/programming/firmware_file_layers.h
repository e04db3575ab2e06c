// The four scrambling layers of a firmware file, written once for any byte store: the file slot
// (through GetSlotByte / SetSlotByte) and a plain buffer share them. A store has size(), Get(i)
// and Set(i, value).
//
// Unscrambling removes, in this order: the file mask, a 3-bit rotation of the whole file, the
// keystream, the digit substitution. Scrambling applies the inverses in the opposite order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "programming/firmware_keys.h"

namespace s470 {

// 1. Every byte XOR the file mask (its own inverse).
template <class Bytes>
void ApplyFileMask(Bytes& bytes) {
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) bytes.Set(i, static_cast<uint8_t>(bytes.Get(i) ^ kFirmwareFileMask));
}

// 2. The file as one string of bits, first byte's top bit first, rotated left by 3: byte i takes
// its low five bits up and the top three bits of byte i+1; the last byte those of the first.
template <class Bytes>
void RotateLeft3(Bytes& bytes) {
  const size_t n = bytes.size();
  if (n == 0) return;
  const uint8_t first = bytes.Get(0);
  for (size_t i = 0; i + 1 < n; ++i)
    bytes.Set(i, static_cast<uint8_t>((bytes.Get(i) << 3) | (bytes.Get(i + 1) >> 5)));
  bytes.Set(n - 1, static_cast<uint8_t>((bytes.Get(n - 1) << 3) | (first >> 5)));
}

template <class Bytes>
void RotateRight3(Bytes& bytes) {
  const size_t n = bytes.size();
  if (n == 0) return;
  const uint8_t last = bytes.Get(n - 1);
  for (size_t i = n - 1; i > 0; --i)
    bytes.Set(i, static_cast<uint8_t>((bytes.Get(i) >> 3) | (bytes.Get(i - 1) << 5)));
  bytes.Set(0, static_cast<uint8_t>((bytes.Get(0) >> 3) | (last << 5)));
}

// 3. Keystream: A xor B xor C xor D xor E, the registers stepped after every byte.
struct FirmwareKeystream {
  uint8_t a = kKeySeedA;
  uint8_t b = kKeySeedB;
  uint8_t c = kKeySeedC;
  uint8_t d = kKeySeedD;

  uint8_t Next() {
    const uint8_t key = static_cast<uint8_t>(a ^ b ^ c ^ d ^ kKeyE);
    a = static_cast<uint8_t>(a * 2);
    b = static_cast<uint8_t>(b + 1);
    c = static_cast<uint8_t>((c * 7) ^ kKeyStepC);
    d = static_cast<uint8_t>(d - 1);
    return key;
  }
};

constexpr uint8_t SwapNibbles(uint8_t v) { return static_cast<uint8_t>((v << 4) | (v >> 4)); }

// Unscrambling: nibble swap, then XOR the key.
template <class Bytes>
void RemoveKeystream(Bytes& bytes) {
  FirmwareKeystream keys;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) bytes.Set(i, static_cast<uint8_t>(SwapNibbles(bytes.Get(i)) ^ keys.Next()));
}

// Scrambling: XOR the key, then nibble swap.
template <class Bytes>
void AddKeystream(Bytes& bytes) {
  FirmwareKeystream keys;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) bytes.Set(i, SwapNibbles(static_cast<uint8_t>(bytes.Get(i) ^ keys.Next())));
}

// 4. Digit substitution: one 256-entry map per digit table; characters that are not upper-case
// hex digits map to themselves.
struct DigitMaps {
  uint8_t map[kDigitTableCount][256];
};

constexpr DigitMaps MakeDigitMaps(bool unscramble) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  DigitMaps maps{};
  for (int t = 0; t < kDigitTableCount; ++t) {
    for (int c = 0; c < 256; ++c) maps.map[t][c] = static_cast<uint8_t>(c);
    for (int d = 0; d < 16; ++d) {
      const auto plain = static_cast<uint8_t>(kDigits[d]);
      const auto coded = static_cast<uint8_t>(kDigitTables[t][d]);
      if (unscramble)
        maps.map[t][plain] = coded;
      else
        maps.map[t][coded] = plain;
    }
  }
  return maps;
}

// Each digit table must be a permutation of the sixteen digits, or scrambling loses data.
constexpr bool DigitTablesArePermutations() {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int t = 0; t < kDigitTableCount; ++t) {
    for (int d = 0; d < 16; ++d) {
      int found = 0;
      for (int e = 0; e < 16; ++e) found += kDigitTables[t][e] == kDigits[d] ? 1 : 0;
      if (found != 1 || kDigitTables[t][16] != '\0') return false;
    }
  }
  return true;
}
static_assert(DigitTablesArePermutations(), "a digit table is not a permutation of 0-9, A-F");

constexpr DigitMaps kUnscrambleDigits = MakeDigitMaps(true);
constexpr DigitMaps kScrambleDigits = MakeDigitMaps(false);

// Walks the lines (each ended by CR) and maps the characters from position 9 of the line up to
// the third before the CR, so the mark, count, address, type and checksum stay as they are. A line
// feed met on the way moves the start of the line one position on (in a well-formed file that is
// the line feed right after the previous CR). The counter of visited characters runs over the
// whole file and picks the table; bytes after the last CR are not visited.
template <class Bytes>
void SubstituteDigits(Bytes& bytes, const DigitMaps& maps) {
  const size_t n = bytes.size();
  size_t start = 0;
  size_t visited = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = bytes.Get(i);
    if (c == '\n') {
      ++start;
      continue;
    }
    if (c != '\r') continue;
    if (i >= start + 12) {
      for (size_t p = start + 9; p <= i - 3; ++p) {
        ++visited;
        const int table = visited <= kDigitTableEnds[0] ? 0 : visited <= kDigitTableEnds[1] ? 1 : 2;
        bytes.Set(p, maps.map[table][bytes.Get(p)]);
      }
    }
    start = i + 1;
  }
}

template <class Bytes>
void DescrambleLayers(Bytes& bytes) {
  ApplyFileMask(bytes);
  RotateLeft3(bytes);
  RemoveKeystream(bytes);
  SubstituteDigits(bytes, kUnscrambleDigits);
}

template <class Bytes>
void ScrambleLayers(Bytes& bytes) {
  SubstituteDigits(bytes, kScrambleDigits);
  AddKeystream(bytes);
  RotateRight3(bytes);
  ApplyFileMask(bytes);
}

// A plain byte buffer as a store.
struct ByteBuffer {
  uint8_t* bytes;
  size_t length;
  size_t size() const { return length; }
  uint8_t Get(size_t i) const { return bytes[i]; }
  void Set(size_t i, uint8_t value) { bytes[i] = value; }
};

}  // namespace s470
