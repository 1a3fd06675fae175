#pragma once
// UTF-8 (the engine's text) to and from the UTF-16 code units Jet 4 stores.

#include <cstdint>
#include <string>
#include <string_view>

namespace halvaro::jet {

// Throws std::invalid_argument for bytes that are not UTF-8.
std::u16string utf16_from_utf8(std::string_view text);
std::string utf8_from_utf16(std::u16string_view text);
// `size` bytes of little-endian UTF-16.
std::string utf8_from_ucs2(const uint8_t* data, size_t size);

}  // namespace halvaro::jet
