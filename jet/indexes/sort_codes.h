#pragma once
// How one UTF-16 code unit takes part in a key of Access's "General" sort order
// (Jet 4, Access 2000-2003), and where each unit's codes are looked up.
//
// Entries are written "S<sort>" (sort bytes only), "I<sort>,<extra>" (with an
// accent/case code), "U<code>" (unprintable: weighed only after everything else),
// "P<modifier>" (added to the previous character's accent code),
// "Z<sort>,<extra>,<1|>" (with a secondary code 2 or 3), "X" (ignored) and "?"
// (place in the order not known). Codes are hex bytes.

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace halvaro::jet {

enum class CodeKind : uint8_t { Simple, International, Unprintable, Modifier, InternationalExt, Ignored, Unknown };

// Small and trivially copyable: a key is built from one of these per character.
struct SortCodes {
  CodeKind kind = CodeKind::Ignored;
  uint8_t sort_size = 0;
  std::array<uint8_t, 4> sort{};   // weighed first, in the text's order
  uint8_t extra_size = 0;
  std::array<uint8_t, 3> extra{};  // International: the accent/case code
  uint8_t unprintable = 0;         // Unprintable
  uint8_t modifier = 0;            // Modifier: added to the previous extra code
  uint8_t secondary = 0;           // InternationalExt: 2 or 3

  constexpr bool operator==(const SortCodes&) const = default;
};

namespace sort_codes_detail {

constexpr uint8_t hex_digit(char c) {
  if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
  if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
  throw std::invalid_argument("sort codes: not a hex digit");
}

// Reads hex bytes (an odd count of digits has an implied leading 0) into `out`.
template <size_t N>
constexpr uint8_t read_bytes(std::string_view hex, std::array<uint8_t, N>& out) {
  const size_t count = (hex.size() + 1) / 2;
  if (count > N) throw std::invalid_argument("sort codes: too many bytes");
  size_t at = 0;
  for (size_t i = 0; i < count; ++i) {
    uint8_t b = 0;
    if (i == 0 && hex.size() % 2) {
      b = hex_digit(hex[at++]);
    } else {
      b = static_cast<uint8_t>(hex_digit(hex[at]) << 4 | hex_digit(hex[at + 1]));
      at += 2;
    }
    out[i] = b;
  }
  return static_cast<uint8_t>(count);
}

// The i-th comma-separated part of `s` (empty when there are fewer).
constexpr std::string_view part(std::string_view s, size_t i) {
  for (; i > 0; --i) {
    const size_t comma = s.find(',');
    if (comma == std::string_view::npos) return {};
    s = s.substr(comma + 1);
  }
  return s.substr(0, s.find(','));
}

}  // namespace sort_codes_detail

// Parses an entry as written above; throws std::invalid_argument on a malformed one
// (at compile time for the built-in table).
constexpr SortCodes parse_sort_codes(std::string_view entry) {
  using namespace sort_codes_detail;
  SortCodes c;
  if (entry.empty()) throw std::invalid_argument("sort codes: empty entry");
  const std::string_view rest = entry.substr(1);
  std::array<uint8_t, 1> one{};
  switch (entry[0]) {
    case 'S':
      c.kind = CodeKind::Simple;
      c.sort_size = read_bytes(part(rest, 0), c.sort);
      break;
    case 'I':
      c.kind = CodeKind::International;
      c.sort_size = read_bytes(part(rest, 0), c.sort);
      c.extra_size = read_bytes(part(rest, 1), c.extra);
      break;
    case 'U':
      c.kind = CodeKind::Unprintable;
      read_bytes(rest, one);
      c.unprintable = one[0];
      break;
    case 'P':
      c.kind = CodeKind::Modifier;
      read_bytes(rest, one);
      c.modifier = one[0];
      break;
    case 'Z':
      c.kind = CodeKind::InternationalExt;
      c.sort_size = read_bytes(part(rest, 0), c.sort);
      c.extra_size = read_bytes(part(rest, 1), c.extra);
      c.secondary = part(rest, 2) == "1" ? 2 : 3;
      break;
    case 'X':
      c.kind = CodeKind::Ignored;
      break;
    case '?':
      c.kind = CodeKind::Unknown;
      break;
    default:
      throw std::invalid_argument("sort codes: unknown entry kind");
  }
  return c;
}

// The entry as parse_sort_codes reads it (hex in upper case).
std::string sort_codes_text(const SortCodes& c);

// How the codes of the characters of a run follow from its first one: all the
// same, or the sort bytes counting up by one per character, either through every
// byte value or through 0x02-0xFF only (0x00 and 0x01 end a key's sections).
enum class RunStep : uint8_t { Same, Count, CountPastMarks };

// The codes `distance` characters into a run whose first character has `first`.
constexpr SortCodes advance_in_run(SortCodes first, RunStep step, uint32_t distance) {
  if (step == RunStep::Same || distance == 0) return first;
  const uint32_t low = step == RunStep::Count ? 0 : 2, base = 256 - low;
  uint32_t carry = distance;
  for (size_t i = first.sort_size; i-- > 0 && carry;) {
    const uint32_t digit = first.sort[i] - low + carry;
    first.sort[i] = static_cast<uint8_t>(digit % base + low);
    carry = digit / base;
  }
  return first;
}

// The General sort order's codes of a code unit (each half of a surrogate pair has
// its own); an Unknown entry for the few units whose place is not known.
SortCodes general_sort_codes(char16_t unit);

}  // namespace halvaro::jet
