#include "jet/base/utf16_text.h"

#include <stdexcept>

namespace halvaro::jet {

std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    if (b < 0x80) {
      cp = b;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1Fu, extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0Fu, extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07u, extra = 3;
    } else {
      throw std::invalid_argument("text is not valid UTF-8");
    }
    if (i + extra >= text.size())
      throw std::invalid_argument("text is not valid UTF-8");
    for (size_t k = 1; k <= extra; ++k) {
      const auto c = static_cast<uint8_t>(text[i + k]);
      if ((c & 0xC0) != 0x80) throw std::invalid_argument("text is not valid UTF-8");
      cp = cp << 6 | (c & 0x3Fu);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

}  // namespace halvaro::jet
