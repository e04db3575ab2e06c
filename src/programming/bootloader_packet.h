// The block packet of the module bootloader: the unit of writing the flash and of reading it
// back. One packet is a key byte K, the block's data bytes scrambled with K, and a filler byte.
// Data byte i travels as ((K + i) mod 256 XOR data) with its nibbles swapped, XOR the packet mask.
// The bootloader (and the simulator) use the same mask; only the PC whitens its keys.
#pragma once

#include <cstddef>
#include <cstdint>

namespace s470 {

constexpr uint8_t kPacketMask = 0xA7;    // shared with the bootloader
constexpr uint8_t kKeyWhitening = 0x3C;  // joins the time into the PC's key bytes

inline uint8_t SwapNibbles(uint8_t b) {
  return static_cast<uint8_t>((b << 4) | (b >> 4));
}

// The sent byte for data byte i of a packet with key `key`, and back.
inline uint8_t ScramblePacketByte(uint8_t data, uint8_t key, size_t i) {
  return static_cast<uint8_t>(SwapNibbles(static_cast<uint8_t>((key + i) ^ data)) ^ kPacketMask);
}
inline uint8_t UnscramblePacketByte(uint8_t sent, uint8_t key, size_t i) {
  return static_cast<uint8_t>(SwapNibbles(static_cast<uint8_t>(sent ^ kPacketMask)) ^
                              static_cast<uint8_t>(key + i));
}

// Fills packet[0 .. size + 1]: key, `size` scrambled data bytes, filler.
inline void BuildPacket(const uint8_t* data, size_t size, uint8_t key, uint8_t filler,
                        uint8_t* packet) {
  packet[0] = key;
  for (size_t i = 0; i < size; ++i) packet[1 + i] = ScramblePacketByte(data[i], key, i);
  packet[size + 1] = filler;
}

// The PC's key and filler bytes for a packet written at `seconds` (the runtime's time).
inline uint8_t PacketKeyAt(int64_t seconds) {
  return static_cast<uint8_t>((seconds & 0xFF) ^ kKeyWhitening);
}
inline uint8_t PacketFillerAt(int64_t seconds) {
  return static_cast<uint8_t>(((seconds / 256) & 0xFF) ^ (seconds & 0xFF));
}

}  // namespace s470
