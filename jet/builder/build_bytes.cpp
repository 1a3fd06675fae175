#include "jet/builder/build_bytes.h"

#include "jet/base/utf16_text.h"

namespace halvaro::jet::build {

Bytes ucs2_of(std::string_view utf8) {
  Bytes out;
  for (char16_t u : utf16_from_utf8(utf8)) add16(out, u);
  return out;
}

void add_name(Bytes& b, std::string_view utf8) {
  Bytes name = ucs2_of(utf8);
  add16(b, static_cast<uint32_t>(name.size()));
  b.insert(b.end(), name.begin(), name.end());
}

}  // namespace halvaro::jet::build
