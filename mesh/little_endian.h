// Loads and stores of the mesh file's little-endian fields at any alignment.
// Included only from mesh/. On a little-endian host each is one plain move.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace mesh {

inline uint32_t load_u32(const uint8_t* p) {
  uint32_t value;
  std::memcpy(&value, p, 4);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  return value;
}

inline uint16_t load_u16(const uint8_t* p) {
  uint16_t value;
  std::memcpy(&value, p, 2);
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap16(value);
  return value;
}

inline int32_t load_i32(const uint8_t* p) { return static_cast<int32_t>(load_u32(p)); }
inline float load_f32(const uint8_t* p) { return std::bit_cast<float>(load_u32(p)); }

inline void store_u32(uint8_t* p, uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap32(value);
  std::memcpy(p, &value, 4);
}

inline void store_u16(uint8_t* p, uint16_t value) {
  if constexpr (std::endian::native == std::endian::big) value = __builtin_bswap16(value);
  std::memcpy(p, &value, 2);
}

inline void store_i32(uint8_t* p, int32_t value) { store_u32(p, static_cast<uint32_t>(value)); }
inline void store_f32(uint8_t* p, float value) { store_u32(p, std::bit_cast<uint32_t>(value)); }

}  // namespace mesh
