#pragma once
// Little- and big-endian field access on raw page bytes. Page headers and rows are
// little-endian; index keys and the row pointers inside index entries are big-endian.

#include <cstdint>
#include <cstring>

namespace halvaro::jet::bytes {

inline uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t get24(const uint8_t* p) {
  return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);
}
inline uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}
inline uint32_t get32be(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}
inline void put32be(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// A row's address as tables and usage-map pointers store it: page << 8 | row.
struct RowAddress {
  uint32_t page = 0;
  uint8_t row = 0;
  static RowAddress from_pointer(uint32_t pointer) {
    return {pointer >> 8, static_cast<uint8_t>(pointer & 0xFF)};
  }
  uint32_t pointer() const { return page << 8 | row; }
  auto operator<=>(const RowAddress&) const = default;
};

}  // namespace halvaro::jet::bytes
