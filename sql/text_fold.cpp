#include "sql/text_fold.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

namespace halvaro::sql {

namespace {

// Decodes one code point at `at`, advancing it; bytes that do not form UTF-8 are
// taken one by one as themselves.
char32_t decode(std::string_view s, size_t& at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char lead = byte(at);
  size_t length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
  if (length <= 1 || at + length > s.size()) {
    ++at;
    return lead;
  }
  char32_t cp = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) {
      ++at;
      return lead;
    }
    cp = (cp << 6) | (byte(at + i) & 0x3F);
  }
  at += length;
  return cp;
}

void encode(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

constexpr unsigned ascii_lower(unsigned c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

char32_t to_lower(char32_t c) {
  if (c < 0x80) return ascii_lower(c);
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;           // Latin-1
  if (c >= 0x100 && c <= 0x17F) {                                       // Latin Extended-A
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 1) ? c + 1 : c;
    if (c == 0x178) return 0xFF;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == 0) ? c + 1 : c;
  }
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;           // Greek
  if (c >= 0x410 && c <= 0x42F) return c + 32;                         // Cyrillic
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

char32_t to_upper(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c % 2 == 0) ? c - 1 : c;
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

// Length of the bytes both texts start with, compared a word at a time: index keys
// compared while sorting mostly share long starts (registration numbers, periods).
size_t common_prefix(std::string_view a, std::string_view b) {
  const size_t shorter = std::min(a.size(), b.size());
  size_t same = 0;
  // Compares the next word of each text; on a difference moves `same` to its first byte.
  auto same_word = [&](auto word) {
    decltype(word) x = 0, y = 0;
    std::memcpy(&x, a.data() + same, sizeof word);
    std::memcpy(&y, b.data() + same, sizeof word);
    same += x == y ? sizeof word : static_cast<size_t>(std::countr_zero(x ^ y)) / 8;
    return x == y;
  };
  if constexpr (std::endian::native == std::endian::little) {
    while (same + 8 <= shorter)
      if (!same_word(uint64_t{})) return same;
    if (same + 4 <= shorter && !same_word(uint32_t{})) return same;
  }
  while (same < shorter && a[same] == b[same]) ++same;
  return same;
}

template <class Map>
std::string map_text(std::string_view utf8, Map map) {
  std::string out;
  out.reserve(utf8.size());
  size_t at = 0;
  while (at < utf8.size()) {
    const auto byte = static_cast<unsigned char>(utf8[at]);
    if (byte < 0x80) {  // ASCII, the common case, maps to ASCII without decoding
      out += static_cast<char>(map(byte));
      ++at;
      continue;
    }
    encode(map(decode(utf8, at)), out);
  }
  return out;
}

}  // namespace

std::string fold_case(std::string_view utf8) { return map_text(utf8, to_lower); }
std::string upper_case(std::string_view utf8) { return map_text(utf8, to_upper); }

int compare_folded(std::string_view a, std::string_view b) {
  // An identical start folds identically: skip it, back to a character's first byte.
  size_t same = common_prefix(a, b);
  auto inside = [](std::string_view s, size_t at) {
    return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
  };
  while (same > 0 && (inside(a, same) || inside(b, same))) --same;
  size_t i = same, j = same;
  while (i < a.size() && j < b.size()) {
    auto p = static_cast<unsigned char>(a[i]), q = static_cast<unsigned char>(b[j]);
    if (p < 0x80 && q < 0x80) {  // ASCII, the common case, without decoding
      const unsigned x = ascii_lower(p), y = ascii_lower(q);
      if (x != y) return x < y ? -1 : 1;
      ++i, ++j;
      continue;
    }
    char32_t x = to_lower(decode(a, i));
    char32_t y = to_lower(decode(b, j));
    if (x != y) return x < y ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

int compare_jet(std::string_view a, std::string_view b) {
  a = without_trailing_blanks(a);
  b = without_trailing_blanks(b);
  // Decided here when the texts first differ, or the shorter ends, at an ASCII byte of
  // each: compare_folded would start there too (such a byte is never inside a
  // character) and decide at once.
  const size_t same = common_prefix(a, b);
  const auto byte = [](std::string_view s, size_t at) { return static_cast<unsigned char>(s[at]); };
  if (same == a.size() || same == b.size()) {
    if (a.size() == b.size()) return 0;
    const bool a_shorter = same == a.size();
    if (byte(a_shorter ? b : a, same) < 0x80) return a_shorter ? -1 : 1;
  } else if (byte(a, same) < 0x80 && byte(b, same) < 0x80) {
    const unsigned x = ascii_lower(byte(a, same)), y = ascii_lower(byte(b, same));
    if (x != y) return x < y ? -1 : 1;
  }
  return compare_folded(a, b);
}

std::string_view without_trailing_blanks(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

size_t utf8_length(std::string_view utf8) {
  size_t count = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
  }
  return count;
}

size_t utf8_offset(std::string_view utf8, size_t index) {
  size_t at = 0;
  while (at < utf8.size() && index > 0) {
    decode(utf8, at);
    --index;
  }
  return at;
}

}  // namespace halvaro::sql
