#pragma once
// Bounds-checked little-endian reads from a byte range. Every decoder reads file
// bytes through this, so a length or offset taken from a damaged file can only
// raise CorruptData, never read outside the buffer.

#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/base/errors.h"

namespace halvaro::jet {

static_assert(std::endian::native == std::endian::little, "the decoders assume a little-endian host");

class ByteView {
 public:
  ByteView() = default;
  ByteView(std::span<const uint8_t> bytes, const char* what = "page") : bytes_(bytes), what_(what) {}

  size_t size() const { return bytes_.size(); }
  const uint8_t* data() const { return bytes_.data(); }
  std::span<const uint8_t> span() const { return bytes_; }
  const char* what() const { return what_; }

  uint8_t u8(size_t offset) const {
    check(offset, 1);
    return bytes_[offset];
  }
  uint16_t u16(size_t offset) const { return load<uint16_t>(offset); }
  uint32_t u24(size_t offset) const {
    check(offset, 3);
    return uint32_t{bytes_[offset]} | uint32_t{bytes_[offset + 1]} << 8 |
           uint32_t{bytes_[offset + 2]} << 16;
  }
  uint32_t u32(size_t offset) const { return load<uint32_t>(offset); }
  int16_t i16(size_t offset) const { return load<int16_t>(offset); }
  int32_t i32(size_t offset) const { return load<int32_t>(offset); }
  int64_t i64(size_t offset) const { return load<int64_t>(offset); }
  float f32(size_t offset) const { return load<float>(offset); }
  double f64(size_t offset) const { return load<double>(offset); }

  std::span<const uint8_t> bytes(size_t offset, size_t length) const {
    check(offset, length);
    return bytes_.subspan(offset, length);
  }
  ByteView sub(size_t offset, size_t length) const { return ByteView(bytes(offset, length), what_); }

  bool fits(size_t offset, size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }
  void check(size_t offset, size_t length) const {
    if (!fits(offset, length)) out_of_range(offset, length);
  }

 private:
  template <class T>
  T load(size_t offset) const {
    check(offset, sizeof(T));
    T value;
    std::memcpy(&value, bytes_.data() + offset, sizeof(T));
    return value;
  }
  [[noreturn]] void out_of_range(size_t offset, size_t length) const {
    throw CorruptData(std::string(what_) + " too short: needs " + std::to_string(length) +
                      " bytes at offset " + std::to_string(offset) + " of " +
                      std::to_string(bytes_.size()));
  }

  std::span<const uint8_t> bytes_;
  const char* what_ = "page";
};

}  // namespace halvaro::jet
