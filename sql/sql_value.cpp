#include "sql/sql_value.h"

#include <cmath>
#include <cstdio>

#include "sql/query_engine.h"
#include "sql/regional.h"
#include "sql/text_fold.h"

namespace halvaro::sql::emit {

namespace {

// Exact ten-thousandths from decimal text ("-12.34" -> -123400); nullopt if not a number.
std::optional<int64_t> scaled_currency(std::string_view text) {
  auto number = parse_number(text);
  if (!number) return std::nullopt;
  return std::llround(*number * 10000.0);
}

}  // namespace

void fail(const std::string& what) { throw QueryError(what); }

std::string quote_text(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string real_literal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  std::string text = buffer;
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

// The kind a function is told its argument has. Decimal values are held as REAL
// without their scale, so functions read them as Double.
std::string kind_code(Kind kind) {
  if (kind == Kind::Decimal) kind = Kind::Double;
  return std::to_string(static_cast<int>(kind));
}

bool is_numeric(Kind kind) {
  return kind == Kind::Long || kind == Kind::Single || kind == Kind::Double || kind == Kind::Decimal ||
         kind == Kind::Currency;
}

// The value in its kind's representation (booleans as -1/0).
std::string value_sql(const Val& v) { return v.truth01 ? "(-(" + v.sql + "))" : v.sql; }

// The value with nothing scaled: currency as a plain number.
std::string plain(const Val& v) {
  if (v.kind == Kind::Currency) return "(" + v.sql + " / 10000.0)";
  return value_sql(v);
}


Val make(std::string sql, Kind kind, const Val* from) {
  Val v;
  v.sql = std::move(sql);
  v.kind = kind;
  if (from) v.aggregate = from->aggregate;
  return v;
}

Val text(const Val& v) {
  if (v.kind == Kind::Text || v.null) return v;
  Val t = make("jet_cstr(" + value_sql(v) + ", " + kind_code(v.kind) + ")", Kind::Text, &v);
  t.one_column = v.one_column;
  return t;
}

Val number(const Val& v) {
  if (v.null || v.kind == Kind::Long || v.kind == Kind::Single || v.kind == Kind::Double ||
      v.kind == Kind::Decimal || v.kind == Kind::Date) {
    return v;
  }
  if (v.kind == Kind::Currency) return make(plain(v), Kind::Double, &v);
  if (v.kind == Kind::Bool) return make(value_sql(v), Kind::Long, &v);
  return make("jet_cdbl(" + v.sql + ", " + kind_code(v.kind) + ")", Kind::Double, &v);
}

Val date(const Val& v) {
  if (v.kind == Kind::Date || v.null) return v;
  return make("jet_cdate(" + value_sql(v) + ", " + kind_code(v.kind) + ")", Kind::Date, &v);
}

Val boolean(std::string sql, const Val* from) {
  Val v = make(std::move(sql), Kind::Bool, from);
  v.truth01 = true;
  return v;
}

// A quoted text compared with a typed value becomes a value of that type.
Val literal_as(const Val& text_value, Kind kind) {
  if (kind != Kind::Date && kind != Kind::Bool && !is_numeric(kind)) return text_value;
  if (text_value.parameter != 0) throw ValueDependent();
  const std::string& text = text_value.literal->as<std::string>();
  switch (kind) {
    case Kind::Date: {
      auto when = parse_date(text);
      if (!when) fail("data type mismatch: '" + text + "' is not a date");
      return make(real_literal(when->days), Kind::Date);
    }
    case Kind::Currency: {
      auto scaled = scaled_currency(text);
      if (!scaled) fail("data type mismatch: '" + text + "' is not a number");
      return make(std::to_string(*scaled), Kind::Currency);
    }
    case Kind::Long:
    case Kind::Single:
    case Kind::Double:
    case Kind::Decimal: {
      auto value = parse_number(text);
      if (!value) fail("data type mismatch: '" + text + "' is not a number");
      return make(real_literal(*value), Kind::Double);
    }
    case Kind::Bool: {
      std::string folded = fold_case(text);
      if (folded == "true" || folded == "yes" || folded == "on") return make("-1", Kind::Bool);
      if (folded == "false" || folded == "no" || folded == "off") return make("0", Kind::Bool);
      auto value = parse_number(text);
      if (!value) fail("data type mismatch: '" + text + "' is not a truth value");
      return make(*value != 0 ? "-1" : "0", Kind::Bool);
    }
    default: return text_value;
  }
}

}  // namespace halvaro::sql::emit
