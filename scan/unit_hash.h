// The hashes of units that the matcher's build and its UTF-16 search share.
#pragma once

#include <cstdint>
#include <cstring>

namespace tesqua::unit_hash {

inline constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
inline constexpr std::uint64_t kSeed = 0x243F6A8885A308D3ull;

inline std::uint64_t Mix(std::uint64_t hash, char16_t unit) {
  return (hash ^ unit) * kMultiplier;
}

// The filter's hash of the three units at window, read as one eight-byte word: the fourth
// unit is shifted out. Reads four units, so buffers keep padding behind their text.
inline std::uint32_t WindowHash(const char16_t* window) {
  std::uint64_t word;
  std::memcpy(&word, window, sizeof word);
  return std::uint32_t(((word << 16) * kMultiplier) >> 48);
}

inline bool TestBit(const std::uint64_t* bits, std::uint32_t index) {
  return (bits[index >> 6] >> (index & 63)) & 1;
}

}  // namespace tesqua::unit_hash
