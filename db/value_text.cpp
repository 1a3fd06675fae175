#include "db/value_text.h"

namespace halvaro::db {

std::string quote_inner(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

}  // namespace halvaro::db
