#include "jet/build_bytes.h"

#include <stdexcept>

namespace halvaro::jet::build {

std::u16string utf16_of(std::string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0;
    size_t extra = 0;
    if (c < 0x80) cp = c;
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else throw std::invalid_argument("text is not valid UTF-8");
    if (i + extra >= s.size() && extra > 0)
      throw std::invalid_argument("text is not valid UTF-8");
    for (size_t k = 1; k <= extra; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) throw std::invalid_argument("text is not valid UTF-8");
      cp = (cp << 6) | (d & 0x3F);
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

Bytes ucs2_of(std::string_view utf8) {
  Bytes out;
  for (char16_t u : utf16_of(utf8)) add16(out, u);
  return out;
}

void add_name(Bytes& b, std::string_view utf8) {
  Bytes name = ucs2_of(utf8);
  add16(b, static_cast<uint32_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
}

}  // namespace halvaro::jet::build
