#pragma once
// Text in a Windows code page, converted by the system's own converters.

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace halvaro::platform {

// The bytes, in the Windows code page `code_page` (single- or multi-byte), as UTF-8;
// a byte with no character in the code page becomes U+FFFD. Nothing when the system
// has no converter for that code page.
std::optional<std::string> code_page_to_utf8(std::span<const uint8_t> bytes, uint16_t code_page);

}  // namespace halvaro::platform
