#include "jet/writer/insert_values.h"

#include <cmath>

namespace halvaro::jet {

namespace {

[[noreturn]] void refuse(const Column& c, const std::string& why) {
  throw JetError("column " + c.name + ": " + why);
}

Int128 pow10(int n) {
  Int128 p = 1;
  while (n-- > 0) p *= 10;
  return p;
}

// An exact number from an integer or decimal literal.
Decimal exact_of(const Column& c, const FieldValue& v) {
  if (v.is<int64_t>()) return Decimal{v.as<int64_t>(), 0};
  if (v.is<Decimal>()) return v.as<Decimal>();
  refuse(c, "a number was expected");
}

// `d` with `scale` digits after the point, refusing to drop non-zero digits.
Int128 rescaled(const Column& c, const Decimal& d, int scale) {
  if (d.scale <= scale) return d.unscaled * pow10(scale - d.scale);
  Int128 divisor = pow10(d.scale - scale);
  if (d.unscaled % divisor != 0)
    refuse(c, scale == 0 ? "a whole number was expected" : "the value has more than " + std::to_string(scale) + " decimals");
  return d.unscaled / divisor;
}

double double_of(const Decimal& d) {
  return static_cast<double>(d.unscaled) / std::pow(10.0, d.scale);
}

}  // namespace

FieldValue value_for_column(const Column& c, const FieldValue& v) {
  if (v.is_null()) return v;
  switch (c.type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      if (v.is<std::string>()) return v;
      if (v.is<int64_t>()) return FieldValue(std::to_string(v.as<int64_t>()));
      if (v.is<Decimal>()) return FieldValue(to_string(v.as<Decimal>()));
      refuse(c, "a text was expected");
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long: {
      if (v.is<bool>()) return FieldValue(int64_t{v.as<bool>() ? -1 : 0});
      Int128 whole = rescaled(c, exact_of(c, v), 0);
      if (whole > INT64_MAX || whole < INT64_MIN) refuse(c, "the number is too large");
      return FieldValue(static_cast<int64_t>(whole));
    }
    case ColumnType::Currency: {
      Int128 scaled = rescaled(c, exact_of(c, v), 4);
      if (scaled > INT64_MAX || scaled < INT64_MIN) refuse(c, "the amount is too large for Currency");
      return FieldValue(Currency{static_cast<int64_t>(scaled)});
    }
    case ColumnType::Single:
    case ColumnType::Double:
      return FieldValue(double_of(exact_of(c, v)));
    case ColumnType::Numeric:
      return FieldValue(Decimal{rescaled(c, exact_of(c, v), c.scale), c.scale});
    case ColumnType::DateTime:
      if (v.is<DateTime>()) return v;
      refuse(c, "a date was expected, written as #yyyy-mm-dd hh:mm:ss#");
    case ColumnType::Boolean:
      if (v.is<bool>()) return v;
      if (v.is<int64_t>()) return FieldValue(v.as<int64_t>() != 0);
      refuse(c, "True or False was expected");
    default:
      refuse(c, "values of this column type cannot be inserted by a script");
  }
}

}  // namespace halvaro::jet
