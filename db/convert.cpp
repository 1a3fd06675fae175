#include "db/convert.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include "db/errors.h"
#include "db/value_text.h"

namespace halvaro::db {
namespace {

using jet::ColumnType;

// Jet's date range: 1 January 100 to 31 December 9999.
constexpr double kFirstDay = -657434.0;
constexpr double kLastDay = 2958466.0;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

// UTF-16 code units of a UTF-8 text: what a Jet 4 text column counts.
size_t utf16_length(const std::string& text) {
  // ASCII, eight bytes at a time, is a unit per byte: most texts end here.
  size_t ascii = 0;
  for (uint64_t word; ascii + 8 <= text.size(); ascii += 8) {
    std::memcpy(&word, text.data() + ascii, 8);
    if (word & 0x8080808080808080ULL) break;
  }
  size_t units = ascii;
  for (size_t i = ascii; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) units += (c >= 0xF0) ? 2 : 1;
  }
  return units;
}

// The reason names neither value nor column: the list of skipped values shows both.
[[noreturn]] void refuse(const FieldValue&, const jet::Column&, const std::string& why) {
  throw value_not_stored(why);
}

// An exact decimal read from text: optional sign, digits, optional point and digits.
std::optional<Decimal> parse_decimal(std::string_view text) {
  text = trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  Decimal out;
  bool digits = false, point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      if (out.unscaled > Int128(1) << 120 || out.scale >= 28) return std::nullopt;
      out.unscaled = out.unscaled * 10 + (c - '0');
      if (point) ++out.scale;
      digits = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  if (negative) out.unscaled = -out.unscaled;
  return out;
}

std::optional<double> parse_double(std::string_view text) {
  std::string copy(trimmed(text));
  if (copy.empty()) return std::nullopt;
  char* end = nullptr;
  double value = std::strtod(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

Int128 pow10(int n) {
  Int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// Rescales a decimal, rounding half to even as Jet does.
Int128 rescale(const Decimal& value, int scale) {
  int shift = scale - int(value.scale);
  if (shift >= 0) return value.unscaled * pow10(shift);
  Int128 divisor = pow10(-shift);
  Int128 quotient = value.unscaled / divisor;
  Int128 remainder = value.unscaled % divisor;
  Int128 twice = (remainder < 0 ? -remainder : remainder) * 2;
  if (twice > divisor || (twice == divisor && quotient % 2 != 0)) quotient += value.unscaled < 0 ? -1 : 1;
  return quotient;
}

std::optional<Decimal> decimal_of(double number) {
  if (!std::isfinite(number) || std::fabs(number) > 1e27) return std::nullopt;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", number);
  if (auto exact = parse_decimal(buffer)) return exact;
  std::snprintf(buffer, sizeof buffer, "%.10f", number);  // exponent form: spell it out
  return parse_decimal(buffer);
}

// Any value as an exact decimal, or nothing when it is not a number.
std::optional<Decimal> as_decimal(const FieldValue& value) {
  if (value.is<int64_t>()) return Decimal{value.as<int64_t>(), 0};
  if (value.is<bool>()) return Decimal{value.as<bool>() ? -1 : 0, 0};
  if (value.is<Currency>()) return Decimal{value.as<Currency>().scaled, 4};
  if (value.is<Decimal>()) return value.as<Decimal>();
  if (value.is<double>()) return decimal_of(value.as<double>());
  if (value.is<DateTime>()) return decimal_of(value.as<DateTime>().days);
  if (value.is<std::string>()) {
    auto text = trimmed(value.as<std::string>());
    if (auto exact = parse_decimal(text)) return exact;
    if (auto number = parse_double(text)) return decimal_of(*number);
  }
  return std::nullopt;
}

FieldValue to_whole(const FieldValue& value, const jet::Column& column, int64_t low, int64_t high) {
  auto exact = as_decimal(value);
  if (!exact) refuse(value, column, "not a number");
  Int128 whole = rescale(*exact, 0);
  if (whole < low || whole > high) refuse(value, column, "out of the column's range");
  return int64_t(whole);
}

FieldValue to_currency(const FieldValue& value, const jet::Column& column) {
  auto exact = as_decimal(value);
  if (!exact) refuse(value, column, "not a number");
  Int128 scaled = rescale(*exact, 4);
  if (scaled < std::numeric_limits<int64_t>::min() || scaled > std::numeric_limits<int64_t>::max())
    refuse(value, column, "out of the currency range");
  return Currency{int64_t(scaled)};
}

FieldValue to_numeric(const FieldValue& value, const jet::Column& column) {
  auto exact = as_decimal(value);
  if (!exact) refuse(value, column, "not a number");
  Decimal out{rescale(*exact, column.scale), column.scale};
  Int128 magnitude = out.unscaled < 0 ? -out.unscaled : out.unscaled;
  if (column.precision > 0 && magnitude >= pow10(column.precision))
    refuse(value, column, "more digits than the column holds");
  return out;
}

FieldValue to_double(const FieldValue& value, const jet::Column& column) {
  double number = 0;
  if (value.is<double>()) number = value.as<double>();
  else if (value.is<DateTime>()) number = value.as<DateTime>().days;
  else if (value.is<std::string>()) {
    auto parsed = parse_double(value.as<std::string>());
    if (!parsed) refuse(value, column, "not a number");
    number = *parsed;
  } else {
    auto exact = as_decimal(value);
    if (!exact) refuse(value, column, "not a number");
    number = double(exact->unscaled) / double(pow10(exact->scale));
  }
  if (column.type == ColumnType::Single && std::fabs(number) > std::numeric_limits<float>::max())
    refuse(value, column, "out of the column's range");
  return number;
}

FieldValue to_date(const FieldValue& value, const jet::Column& column) {
  double days = 0;
  if (value.is<DateTime>()) {
    days = value.as<DateTime>().days;
  } else if (value.is<std::string>()) {
    auto parsed = parse_date(value.as<std::string>());
    if (!parsed) refuse(value, column, "not a date");
    days = parsed->days;
  } else {
    auto exact = as_decimal(value);
    if (!exact) refuse(value, column, "not a date");
    days = double(exact->unscaled) / double(pow10(exact->scale));
  }
  if (days < kFirstDay || days >= kLastDay) refuse(value, column, "outside the dates a column holds");
  return DateTime{days};
}

FieldValue to_boolean(const FieldValue& value, const jet::Column& column) {
  if (value.is<bool>()) return value;
  if (value.is<std::string>()) {
    std::string word;
    for (char c : trimmed(value.as<std::string>())) word += char(std::tolower(static_cast<unsigned char>(c)));
    if (word == "true" || word == "yes" || word == "on") return true;
    if (word == "false" || word == "no" || word == "off") return false;
  }
  auto exact = as_decimal(value);
  if (!exact) refuse(value, column, "not a yes/no value");
  return exact->unscaled != 0;
}

// Refuses a text longer than a Text column holds.
void check_length(const std::string& text, const FieldValue& value, const jet::Column& column) {
  if (column.type != ColumnType::Text) return;
  size_t limit = column.size / 2;
  if (text.size() <= limit) return;  // UTF-8 never takes fewer bytes than UTF-16 units
  size_t length = utf16_length(text);
  if (length > limit)
    refuse(value, column, std::to_string(length) + " characters, the column holds " + std::to_string(limit));
}

FieldValue to_text(const FieldValue& value, const jet::Column& column) {
  if (value.is<Binary>()) refuse(value, column, "binary data");
  std::string text = text_form(value);
  check_length(text, value, column);
  return text;
}

}  // namespace

FieldValue to_column(FieldValue&& value, const jet::Column& column) {
  // A text for a text column is its own text: it is checked and kept, not copied (a
  // refused value is left as it was).
  if ((column.type == ColumnType::Text || column.type == ColumnType::Memo) && value.is<std::string>()) {
    check_length(value.as<std::string>(), value, column);
    return std::move(value);
  }
  return to_column(std::as_const(value), column);
}

FieldValue to_column(const FieldValue& value, const jet::Column& column) {
  if (value.is_null()) return value;
  switch (column.type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      return to_text(value, column);
    case ColumnType::Byte:
      return to_whole(value, column, 0, 255);
    case ColumnType::Integer:
      return to_whole(value, column, -32768, 32767);
    case ColumnType::Long:
      return to_whole(value, column, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    case ColumnType::Currency:
      return to_currency(value, column);
    case ColumnType::Numeric:
      return to_numeric(value, column);
    case ColumnType::Single:
    case ColumnType::Double:
      return to_double(value, column);
    case ColumnType::DateTime:
      return to_date(value, column);
    case ColumnType::Boolean:
      return to_boolean(value, column);
    case ColumnType::Guid:
      if (value.is<Guid>()) return value;
      refuse(value, column, "not a GUID");
    case ColumnType::Binary:
    case ColumnType::Ole:
      if (value.is<Binary>()) return value;
      if (value.is<std::string>()) {
        const auto& text = value.as<std::string>();
        return Binary(text.begin(), text.end());
      }
      refuse(value, column, "not binary data");
  }
  refuse(value, column, "a type the column cannot take");
}

}  // namespace halvaro::db
