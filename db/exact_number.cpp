#include "db/exact_number.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace halvaro::db {
namespace {

constexpr int kMaxDigits = 36;  // what an Int128 holds with room for sums

Int128 power_of_ten(int n) {
  Int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

ExactNumber rescaled(ExactNumber n, int scale) {
  if (n.scale < scale) n.unscaled *= power_of_ten(scale - n.scale);
  n.scale = scale;
  return n;
}

// "-12.50", "1.5e-05", " 3 ": digits with an optional point and exponent.
std::optional<ExactNumber> parse_decimal(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  ExactNumber n;
  int digits = 0, fraction = 0;
  bool point = false, any = false;
  size_t i = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    any = true;
    if (digits > 0 || c != '0') ++digits;
    if (digits > kMaxDigits) return std::nullopt;
    n.unscaled = n.unscaled * 10 + (c - '0');
    if (point) ++fraction;
  }
  if (!any) return std::nullopt;
  int exponent = 0;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::string_view rest = text.substr(i + 1);
    if (!rest.empty() && rest.front() == '+') rest.remove_prefix(1);
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), exponent);
    if (error != std::errc() || end != rest.data() + rest.size()) return std::nullopt;
    i = text.size();
  }
  if (i != text.size()) return std::nullopt;
  n.scale = fraction - exponent;
  if (n.scale < 0) {
    if (digits - n.scale > kMaxDigits) return std::nullopt;
    n.unscaled *= power_of_ten(-n.scale);
    n.scale = 0;
  }
  if (n.scale > kMaxDigits) return std::nullopt;
  if (negative) n.unscaled = -n.unscaled;
  return n;
}

}  // namespace

std::optional<ExactNumber> exact_number(const FieldValue& value) {
  if (value.is<int64_t>()) return ExactNumber{value.as<int64_t>(), 0};
  if (value.is<Currency>()) return ExactNumber{value.as<Currency>().scaled, 4};
  if (value.is<Decimal>()) return ExactNumber{value.as<Decimal>().unscaled, value.as<Decimal>().scale};
  if (value.is<double>()) {
    // Most quantities have a few decimals: scaled by a power of ten they are whole and
    // scale back to themselves exactly, which is the text they show.
    const double x = value.as<double>();
    double scale = 1;
    for (int digits = 0; digits <= 6; ++digits, scale *= 10) {
      const double scaled = x * scale;
      if (std::fabs(scaled) < 9.0e15 && scaled == std::floor(scaled) && scaled / scale == x)
        return ExactNumber{Int128(int64_t(scaled)), digits};
    }
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value.as<double>(), std::chars_format::general, 15);
    if (error != std::errc()) return std::nullopt;
    return parse_decimal(std::string_view(text, size_t(end - text)));
  }
  if (value.is<std::string>()) return parse_decimal(value.as<std::string>());
  return std::nullopt;
}

ExactNumber operator+(ExactNumber a, ExactNumber b) {
  int scale = std::max(a.scale, b.scale);
  a = rescaled(a, scale);
  b = rescaled(b, scale);
  return {a.unscaled + b.unscaled, scale};
}

ExactNumber operator-(ExactNumber a, ExactNumber b) {
  b.unscaled = -b.unscaled;
  return a + b;
}

bool operator==(ExactNumber a, ExactNumber b) { return is_zero(a - b); }

std::string to_string(const ExactNumber& n) {
  Int128 value = n.unscaled;
  int scale = n.scale;
  while (scale > 0 && value % 10 == 0) value /= 10, --scale;
  bool negative = value < 0;
  UInt128 magnitude = negative ? UInt128(-value) : UInt128(value);
  std::string digits;
  do {
    digits.insert(digits.begin(), char('0' + int(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude > 0);
  if (scale > 0) {
    if (int(digits.size()) <= scale) digits.insert(0, size_t(scale - int(digits.size()) + 1), '0');
    digits.insert(digits.size() - size_t(scale), ".");
  }
  return negative ? "-" + digits : digits;
}

}  // namespace halvaro::db
