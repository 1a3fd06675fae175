#pragma once
// Little helpers for composing pages of a new database: little-endian integers put
// into or appended to byte buffers, and names as Jet 4 stores them (UCS-2).

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace halvaro::jet::build {

using Bytes = std::vector<uint8_t>;

inline void put8(Bytes& b, size_t at, uint32_t v) { b.at(at) = static_cast<uint8_t>(v); }
inline void put16(Bytes& b, size_t at, uint32_t v) {
  put8(b, at, v & 0xFF);
  put8(b, at + 1, (v >> 8) & 0xFF);
}
inline void put32(Bytes& b, size_t at, uint32_t v) {
  put16(b, at, v & 0xFFFF);
  put16(b, at + 2, v >> 16);
}
inline void add8(Bytes& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
inline void add16(Bytes& b, uint32_t v) {
  add8(b, v & 0xFF);
  add8(b, (v >> 8) & 0xFF);
}
inline void add32(Bytes& b, uint32_t v) {
  add16(b, v & 0xFFFF);
  add16(b, v >> 16);
}
inline void add_double(Bytes& b, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  add32(b, static_cast<uint32_t>(bits));
  add32(b, static_cast<uint32_t>(bits >> 32));
}

// UTF-16LE bytes of a UTF-8 text; throws std::invalid_argument on malformed input.
Bytes ucs2_of(std::string_view utf8);
// A name as a definition stores it: 2-byte byte count, then UCS-2.
void add_name(Bytes& b, std::string_view utf8);

}  // namespace halvaro::jet::build
