#include "sql/functions.h"

#include <cfenv>
#include <chrono>
#include <cmath>
#include <ctime>
#include <stdexcept>
#include <string>

#include "platform/local_time.h"
#include "sql/regional.h"
#include "sql/text_fold.h"

namespace halvaro::sql {

namespace {

// An error raised by a function: the statement fails with this message.
struct FunctionError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string value_text(sqlite3_value* v) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return text ? std::string(text, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string();
}

Kind kind_arg(sqlite3_value* v) { return static_cast<Kind>(sqlite3_value_int(v)); }

double to_double(const FieldValue& value) {
  const auto& v = value.value;
  if (auto n = std::get_if<int64_t>(&v)) return static_cast<double>(*n);
  if (auto d = std::get_if<double>(&v)) return *d;
  if (auto c = std::get_if<Currency>(&v)) return static_cast<double>(c->scaled) / 10000.0;
  if (auto b = std::get_if<bool>(&v)) return *b ? -1.0 : 0.0;
  if (auto t = std::get_if<DateTime>(&v)) return t->days;
  if (auto dec = std::get_if<Decimal>(&v)) return std::stod(to_string(*dec));
  if (auto s = std::get_if<std::string>(&v)) {
    if (auto n = parse_number(*s)) return *n;
    throw FunctionError("type mismatch: '" + *s + "' is not a number");
  }
  throw FunctionError("type mismatch: the value is not a number");
}

double bankers(double x) { return std::nearbyint(x); }  // the default rounding mode is to nearest even

int64_t whole(double x, double low, double high) {
  double r = bankers(x);
  if (r < low || r > high) throw FunctionError("overflow: " + text_form(FieldValue(x)) + " is out of range");
  return static_cast<int64_t>(r);
}

DateTime to_date(const FieldValue& value) {
  if (value.is<DateTime>()) return value.as<DateTime>();
  if (value.is<std::string>()) {
    const auto& s = value.as<std::string>();
    if (auto when = parse_date(s)) return *when;
    if (auto n = parse_number(s)) return DateTime{*n};
    throw FunctionError("type mismatch: '" + s + "' is not a date");
  }
  return DateTime{to_double(value)};
}

// Calls body and turns its result or error into the function's result.
template <class Body>
void guarded(sqlite3_context* context, Body body) {
  try {
    body();
  } catch (const std::exception& e) {
    sqlite3_result_error(context, e.what(), -1);
  }
}

void result_text(sqlite3_context* context, const std::string& text) {
  sqlite3_result_text(context, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

bool any_null(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

// Registers a function whose null arguments (any of them) give null.
using Body = void (*)(sqlite3_context*, int, sqlite3_value**);
template <Body body>
void null_in_null_out(sqlite3_context* context, int argc, sqlite3_value** argv) {
  if (any_null(argc, argv)) {
    sqlite3_result_null(context);
    return;
  }
  guarded(context, [&] { body(context, argc, argv); });
}

FieldValue arg_value(sqlite3_value** argv, int value, int kind) {
  return from_sqlite(argv[value], kind_arg(argv[kind]));
}

// ---- Conversions ----

void f_cstr(sqlite3_context* c, int, sqlite3_value** a) {
  Kind kind = kind_arg(a[1]);
  result_text(c, text_form(from_sqlite(a[0], kind), kind));
}
void f_cdbl(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_double(c, to_double(arg_value(a, 0, 1))); }
void f_csng(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_double(c, static_cast<double>(static_cast<float>(to_double(arg_value(a, 0, 1)))));
}
void f_cint(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_int64(c, whole(to_double(arg_value(a, 0, 1)), -32768, 32767));
}
void f_clng(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_int64(c, whole(to_double(arg_value(a, 0, 1)), -2147483648.0, 2147483647.0));
}
void f_cbyte(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_int64(c, whole(to_double(arg_value(a, 0, 1)), 0, 255));
}
void f_ccur(sqlite3_context* c, int, sqlite3_value** a) {
  FieldValue v = arg_value(a, 0, 1);
  if (v.is<Currency>()) return sqlite3_result_int64(c, v.as<Currency>().scaled);
  double scaled = bankers(to_double(v) * 10000.0);
  if (std::fabs(scaled) > 9.2e18) throw FunctionError("overflow: the value is too large for Currency");
  sqlite3_result_int64(c, static_cast<int64_t>(scaled));
}
void f_cdate(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_double(c, to_date(arg_value(a, 0, 1)).days); }
void f_cbool(sqlite3_context* c, int, sqlite3_value** a) {
  FieldValue v = arg_value(a, 0, 1);
  if (v.is<std::string>()) {
    std::string folded = fold_case(v.as<std::string>());
    if (folded == "true") return sqlite3_result_int(c, -1);
    if (folded == "false") return sqlite3_result_int(c, 0);
  }
  sqlite3_result_int(c, to_double(v) != 0 ? -1 : 0);
}

// Val: the number at the start of a text, blanks ignored; 0 if there is none.
void f_val(sqlite3_context* c, int, sqlite3_value** a) {
  std::string text = value_text(a[0]), digits;
  bool point = false, exponent = false;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r') continue;
    bool digit = ch >= '0' && ch <= '9';
    bool sign = (ch == '-' || ch == '+') && (digits.empty() || digits.back() == 'e');
    if (digit || sign) digits += ch;
    else if (ch == '.' && !point && !exponent) {
      point = true;
      digits += ch;
    } else if ((ch == 'e' || ch == 'E' || ch == 'd' || ch == 'D') && !exponent && !digits.empty()) {
      exponent = true;
      digits += 'e';
    } else break;
  }
  char* end = nullptr;
  double number = std::strtod(digits.c_str(), &end);
  sqlite3_result_double(c, digits.empty() ? 0.0 : number);
}

void f_str(sqlite3_context* c, int, sqlite3_value** a) {
  Kind kind = kind_arg(a[1]);
  FieldValue v = from_sqlite(a[0], kind);
  std::string text = text_form(v, kind);
  if (!v.is<std::string>() && !v.is<DateTime>() && !text.empty() && text[0] != '-') text = " " + text;
  result_text(c, text);
}

void f_format(sqlite3_context* c, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL) return sqlite3_result_null(c);
  guarded(c, [&] {
    std::string pattern = sqlite3_value_type(a[2]) == SQLITE_NULL ? "" : value_text(a[2]);
    try {
      result_text(c, format(arg_value(a, 0, 1), pattern));
    } catch (const std::invalid_argument& e) {
      throw FunctionError(std::string("Format: ") + e.what());
    }
  });
}

// ---- Text ----

size_t count_arg(sqlite3_value* v, const char* function) {
  double n = to_double(from_sqlite(v, Kind::Variant));
  if (n < 0) throw FunctionError(std::string(function) + ": a negative length or position");
  return static_cast<size_t>(bankers(n));
}

void f_left(sqlite3_context* c, int, sqlite3_value** a) {
  std::string s = value_text(a[0]);
  result_text(c, s.substr(0, utf8_offset(s, count_arg(a[1], "Left"))));
}
void f_right(sqlite3_context* c, int, sqlite3_value** a) {
  std::string s = value_text(a[0]);
  size_t length = utf8_length(s), n = count_arg(a[1], "Right");
  result_text(c, n >= length ? s : s.substr(utf8_offset(s, length - n)));
}
void f_mid(sqlite3_context* c, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL || sqlite3_value_type(a[1]) == SQLITE_NULL) return sqlite3_result_null(c);
  guarded(c, [&] {
    std::string s = value_text(a[0]);
    size_t start = count_arg(a[1], "Mid");
    if (start < 1) throw FunctionError("Mid: the start must be 1 or more");
    size_t from = utf8_offset(s, start - 1);
    std::string rest = s.substr(from);
    if (sqlite3_value_type(a[2]) != SQLITE_NULL) rest = rest.substr(0, utf8_offset(rest, count_arg(a[2], "Mid")));
    result_text(c, rest);
  });
}
void f_ucase(sqlite3_context* c, int, sqlite3_value** a) { result_text(c, upper_case(value_text(a[0]))); }
void f_lcase(sqlite3_context* c, int, sqlite3_value** a) { result_text(c, fold_case(value_text(a[0]))); }
void f_instr(sqlite3_context* c, int, sqlite3_value** a) {
  size_t start = count_arg(a[0], "InStr");
  if (start < 1) throw FunctionError("InStr: the start must be 1 or more");
  bool text_compare = to_double(from_sqlite(a[3], Kind::Variant)) != 0;
  std::string s = value_text(a[1]), find = value_text(a[2]);
  if (text_compare) {
    s = fold_case(s);
    find = fold_case(find);
  }
  size_t from = utf8_offset(s, start - 1);
  if (start > utf8_length(s) + (find.empty() ? 1 : 0)) return sqlite3_result_int(c, 0);
  size_t at = s.find(find, from);
  sqlite3_result_int64(c, at == std::string::npos ? 0 : static_cast<int64_t>(utf8_length(s.substr(0, at)) + 1));
}
void f_replace(sqlite3_context* c, int, sqlite3_value** a) {
  std::string s = value_text(a[0]), find = value_text(a[1]), with = value_text(a[2]);
  if (find.empty()) return result_text(c, s);
  std::string out;
  size_t from = 0;
  for (size_t at; (at = s.find(find, from)) != std::string::npos; from = at + find.size()) {
    out += s.substr(from, at - from) + with;
  }
  result_text(c, out + s.substr(from));
}
void f_space(sqlite3_context* c, int, sqlite3_value** a) { result_text(c, std::string(count_arg(a[0], "Space"), ' ')); }

void f_cat(sqlite3_context* c, int, sqlite3_value** a) {
  if (sqlite3_value_type(a[0]) == SQLITE_NULL && sqlite3_value_type(a[1]) == SQLITE_NULL) return sqlite3_result_null(c);
  result_text(c, value_text(a[0]) + value_text(a[1]));
}

void f_like(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_int(c, like_match(value_text(a[0]), value_text(a[1])) ? 1 : 0);
}

// ---- Dates ----

double days_now(bool date_only) {
  const std::tm local = platform::local_time(std::time(nullptr));
  CivilTime civil{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
  if (date_only) civil.hour = civil.minute = civil.second = 0;
  return from_civil(civil).days;
}
void f_now(sqlite3_context* c, int, sqlite3_value**) { sqlite3_result_double(c, days_now(false)); }
void f_date(sqlite3_context* c, int, sqlite3_value**) { sqlite3_result_double(c, days_now(true)); }
void f_time(sqlite3_context* c, int, sqlite3_value**) {
  double now = days_now(false);
  sqlite3_result_double(c, now - std::floor(now));
}

int day_of_week(double days) {  // 1 = Sunday
  auto d = static_cast<int64_t>(std::floor(days));
  return static_cast<int>(((d + 6) % 7 + 7) % 7) + 1;
}

int64_t part(const std::string& interval, double days) {
  CivilTime t = to_civil(DateTime{days});
  std::string code = fold_case(interval);
  if (code == "yyyy") return t.year;
  if (code == "q") return (t.month - 1) / 3 + 1;
  if (code == "m") return t.month;
  if (code == "y") return static_cast<int64_t>(std::floor(days) - std::floor(from_civil({t.year, 1, 1, 0, 0, 0}).days)) + 1;
  if (code == "d") return t.day;
  if (code == "w") return day_of_week(days);
  if (code == "ww") {
    double jan1 = std::floor(from_civil({t.year, 1, 1, 0, 0, 0}).days);
    return static_cast<int64_t>((std::floor(days) - jan1 + day_of_week(jan1) - 1) / 7) + 1;
  }
  if (code == "h") return t.hour;
  if (code == "n") return t.minute;
  if (code == "s") return t.second;
  throw FunctionError("unknown date interval '" + interval + "'");
}
void f_datepart(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_int64(c, part(value_text(a[0]), sqlite3_value_double(a[1])));
}

int days_in_month(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// The date `months` months after `days`, the day clamped to the month's end.
double add_months(double days, int64_t months) {
  CivilTime t = to_civil(DateTime{days});
  int64_t index = t.year * 12LL + (t.month - 1) + months;
  t.year = static_cast<int>(index / 12);
  t.month = static_cast<int>(index % 12) + 1;
  t.day = std::min(t.day, days_in_month(t.year, t.month));
  if (t.year < 100 || t.year > 9999) throw FunctionError("DateAdd: the date is out of range");
  return from_civil(t).days;
}

void f_dateserial(sqlite3_context* c, int, sqlite3_value** a) {
  auto year = static_cast<int64_t>(bankers(sqlite3_value_double(a[0])));
  auto month = static_cast<int64_t>(bankers(sqlite3_value_double(a[1])));
  auto day = static_cast<int64_t>(bankers(sqlite3_value_double(a[2])));
  if (year >= 0 && year < 30) year += 2000;
  else if (year >= 30 && year < 100) year += 1900;
  int64_t index = year * 12 + (month - 1);
  int64_t y = index >= 0 ? index / 12 : (index - 11) / 12;
  int m = static_cast<int>(index - y * 12) + 1;
  if (y < 100 || y > 9999) throw FunctionError("DateSerial: the date is out of range");
  double first = from_civil({static_cast<int>(y), m, 1, 0, 0, 0}).days;
  sqlite3_result_double(c, first + static_cast<double>(day - 1));
}

void f_dateadd(sqlite3_context* c, int, sqlite3_value** a) {
  std::string code = fold_case(value_text(a[0]));
  auto n = static_cast<int64_t>(std::trunc(sqlite3_value_double(a[1])));
  double days = sqlite3_value_double(a[2]);
  double result;
  if (code == "yyyy") result = add_months(days, n * 12);
  else if (code == "q") result = add_months(days, n * 3);
  else if (code == "m") result = add_months(days, n);
  else if (code == "y" || code == "d" || code == "w") result = days + static_cast<double>(n);
  else if (code == "ww") result = days + static_cast<double>(n * 7);
  else if (code == "h") result = days + static_cast<double>(n) / 24.0;
  else if (code == "n") result = days + static_cast<double>(n) / 1440.0;
  else if (code == "s") result = days + static_cast<double>(n) / 86400.0;
  else throw FunctionError("unknown date interval '" + code + "'");
  sqlite3_result_double(c, result);
}

int64_t total_seconds(double days) {
  CivilTime t = to_civil(DateTime{days});
  double day = std::floor(from_civil({t.year, t.month, t.day, 0, 0, 0}).days);
  return static_cast<int64_t>(day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

void f_datediff(sqlite3_context* c, int, sqlite3_value** a) {
  std::string code = fold_case(value_text(a[0]));
  double d1 = sqlite3_value_double(a[1]), d2 = sqlite3_value_double(a[2]);
  CivilTime t1 = to_civil(DateTime{d1}), t2 = to_civil(DateTime{d2});
  int64_t s1 = total_seconds(d1), s2 = total_seconds(d2);
  auto floor_div = [](int64_t x, int64_t y) { return x >= 0 ? x / y : -((-x + y - 1) / y); };
  int64_t result;
  if (code == "yyyy") result = t2.year - t1.year;
  else if (code == "q") result = (t2.year * 4 + (t2.month - 1) / 3) - (t1.year * 4 + (t1.month - 1) / 3);
  else if (code == "m") result = (t2.year * 12 + t2.month) - (t1.year * 12 + t1.month);
  else if (code == "y" || code == "d") result = floor_div(s2, 86400) - floor_div(s1, 86400);
  else if (code == "w") result = (floor_div(s2, 86400) - floor_div(s1, 86400)) / 7;
  else if (code == "ww") result = floor_div(floor_div(s2, 86400) + 6, 7) - floor_div(floor_div(s1, 86400) + 6, 7);
  else if (code == "h") result = floor_div(s2, 3600) - floor_div(s1, 3600);
  else if (code == "n") result = floor_div(s2, 60) - floor_div(s1, 60);
  else if (code == "s") result = s2 - s1;
  else throw FunctionError("unknown date interval '" + code + "'");
  sqlite3_result_int64(c, result);
}

// ---- Numbers ----

void f_int(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_double(c, std::floor(sqlite3_value_double(a[0]))); }
void f_fix(sqlite3_context* c, int, sqlite3_value** a) { sqlite3_result_double(c, std::trunc(sqlite3_value_double(a[0]))); }
void f_round(sqlite3_context* c, int, sqlite3_value** a) {
  double scale = std::pow(10.0, bankers(sqlite3_value_double(a[1])));
  sqlite3_result_double(c, bankers(sqlite3_value_double(a[0]) * scale) / scale);
}
void f_sqr(sqlite3_context* c, int, sqlite3_value** a) {
  double x = sqlite3_value_double(a[0]);
  if (x < 0) throw FunctionError("Sqr of a negative number");
  sqlite3_result_double(c, std::sqrt(x));
}
void f_div(sqlite3_context* c, int, sqlite3_value** a) {
  double y = sqlite3_value_double(a[1]);
  if (y == 0) throw FunctionError("division by zero");
  sqlite3_result_double(c, sqlite3_value_double(a[0]) / y);
}
void f_intdiv(sqlite3_context* c, int, sqlite3_value** a) {
  int64_t x = whole(sqlite3_value_double(a[0]), -9.2e18, 9.2e18), y = whole(sqlite3_value_double(a[1]), -9.2e18, 9.2e18);
  if (y == 0) throw FunctionError("division by zero");
  sqlite3_result_int64(c, x / y);
}
void f_mod(sqlite3_context* c, int, sqlite3_value** a) {
  int64_t x = whole(sqlite3_value_double(a[0]), -9.2e18, 9.2e18), y = whole(sqlite3_value_double(a[1]), -9.2e18, 9.2e18);
  if (y == 0) throw FunctionError("division by zero");
  sqlite3_result_int64(c, x % y);
}
void f_pow(sqlite3_context* c, int, sqlite3_value** a) {
  sqlite3_result_double(c, std::pow(sqlite3_value_double(a[0]), sqlite3_value_double(a[1])));
}

// Jet's text comparison: letter case and trailing blanks (or NULs) do not count, so
// 'A Bad One  ' = 'a bad one' (Like, in contrast, compares every character).
int collate_jet(void*, int length_a, const void* a, int length_b, const void* b) {
  return compare_jet(std::string_view(static_cast<const char*>(a), static_cast<size_t>(length_a)),
                     std::string_view(static_cast<const char*>(b), static_cast<size_t>(length_b)));
}

struct Registration {
  const char* name;
  int arguments;
  void (*function)(sqlite3_context*, int, sqlite3_value**);
  bool deterministic;
};

// ---- Like ----

std::u32string code_points(std::string_view utf8) {
  std::u32string out;
  std::string folded = fold_case(utf8);
  size_t at = 0;
  while (at < folded.size()) {
    size_t next = utf8_offset(std::string_view(folded).substr(at), 1);
    if (next == 0) break;
    std::string_view ch = std::string_view(folded).substr(at, next);
    char32_t cp = static_cast<unsigned char>(ch[0]);
    if (ch.size() > 1) {
      cp &= 0x7F >> ch.size();
      for (size_t i = 1; i < ch.size(); ++i) cp = (cp << 6) | (static_cast<unsigned char>(ch[i]) & 0x3F);
    }
    out += cp;
    at += next;
  }
  return out;
}

bool like_at(const std::u32string& s, size_t i, const std::u32string& p, size_t j) {
  while (j < p.size()) {
    char32_t pc = p[j];
    if (pc == U'*') {
      while (j < p.size() && p[j] == U'*') ++j;
      if (j == p.size()) return true;
      for (size_t k = i; k <= s.size(); ++k) {
        if (like_at(s, k, p, j)) return true;
      }
      return false;
    }
    if (i >= s.size()) return false;
    if (pc == U'?') {
      ++i, ++j;
    } else if (pc == U'#') {
      if (s[i] < U'0' || s[i] > U'9') return false;
      ++i, ++j;
    } else if (pc == U'[') {
      size_t close = p.find(U']', j + 1);
      if (close == std::u32string::npos) throw FunctionError("Like: a pattern has '[' without ']'");
      std::u32string set = p.substr(j + 1, close - j - 1);
      bool negate = !set.empty() && set[0] == U'!';
      if (negate) set.erase(0, 1);
      bool in = false;
      for (size_t k = 0; k < set.size(); ++k) {
        if (k + 2 < set.size() && set[k + 1] == U'-') {
          if (s[i] >= set[k] && s[i] <= set[k + 2]) in = true;
          k += 2;
        } else if (s[i] == set[k]) {
          in = true;
        }
      }
      if (in == negate) return false;
      ++i;
      j = close + 1;
    } else {
      if (s[i] != pc) return false;
      ++i, ++j;
    }
  }
  return i == s.size();
}

}  // namespace

bool like_match(std::string_view text, std::string_view pattern) {
  return like_at(code_points(text), 0, code_points(pattern), 0);
}

FieldValue from_sqlite(sqlite3_value* value, Kind kind, uint8_t scale) {
  int type = sqlite3_value_type(value);
  if (type == SQLITE_NULL) return FieldValue();
  switch (kind) {
    case Kind::Text: return FieldValue(value_text(value));
    case Kind::Long:
      if (type == SQLITE_FLOAT) return FieldValue(sqlite3_value_double(value));
      return FieldValue(static_cast<int64_t>(sqlite3_value_int64(value)));
    case Kind::Single:
    case Kind::Double: return FieldValue(sqlite3_value_double(value));
    case Kind::Currency:
      if (type == SQLITE_FLOAT) return FieldValue(Currency{std::llround(sqlite3_value_double(value))});
      return FieldValue(Currency{sqlite3_value_int64(value)});
    case Kind::Date: return FieldValue(DateTime{sqlite3_value_double(value)});
    case Kind::Bool: return FieldValue(sqlite3_value_double(value) != 0);
    case Kind::Decimal: {
      double x = sqlite3_value_double(value) * std::pow(10.0, scale);
      return FieldValue(Decimal{static_cast<Int128>(std::llround(x)), scale});
    }
    case Kind::Guid: {
      Guid id;
      if (type == SQLITE_BLOB && sqlite3_value_bytes(value) == 16) {
        const auto* bytes = static_cast<const uint8_t*>(sqlite3_value_blob(value));
        std::copy(bytes, bytes + 16, id.bytes.begin());
        return FieldValue(id);
      }
      return FieldValue(value_text(value));
    }
    case Kind::Binary:
    case Kind::Variant: break;
  }
  switch (type) {
    case SQLITE_INTEGER: return FieldValue(static_cast<int64_t>(sqlite3_value_int64(value)));
    case SQLITE_FLOAT: return FieldValue(sqlite3_value_double(value));
    case SQLITE_TEXT: return FieldValue(value_text(value));
    default: {
      const auto* bytes = static_cast<const uint8_t*>(sqlite3_value_blob(value));
      return FieldValue(Binary(bytes, bytes + sqlite3_value_bytes(value)));
    }
  }
}

FieldValue from_sqlite(sqlite3_stmt* statement, int column, Kind kind, uint8_t scale) {
  return from_sqlite(sqlite3_column_value(statement, column), kind, scale);
}

void register_jet_functions(sqlite3* db) {
  static const Registration kFunctions[] = {
      {"jet_cstr", 2, null_in_null_out<f_cstr>, true},
      {"jet_cdbl", 2, null_in_null_out<f_cdbl>, true},
      {"jet_csng", 2, null_in_null_out<f_csng>, true},
      {"jet_cint", 2, null_in_null_out<f_cint>, true},
      {"jet_clng", 2, null_in_null_out<f_clng>, true},
      {"jet_cbyte", 2, null_in_null_out<f_cbyte>, true},
      {"jet_ccur", 2, null_in_null_out<f_ccur>, true},
      {"jet_cdate", 2, null_in_null_out<f_cdate>, true},
      {"jet_cbool", 2, null_in_null_out<f_cbool>, true},
      {"jet_val", 1, null_in_null_out<f_val>, true},
      {"jet_str", 2, null_in_null_out<f_str>, true},
      {"jet_format", 3, f_format, true},
      {"jet_left", 2, null_in_null_out<f_left>, true},
      {"jet_right", 2, null_in_null_out<f_right>, true},
      {"jet_mid", 3, f_mid, true},
      {"jet_ucase", 1, null_in_null_out<f_ucase>, true},
      {"jet_lcase", 1, null_in_null_out<f_lcase>, true},
      {"jet_instr", 4, null_in_null_out<f_instr>, true},
      {"jet_replace", 3, null_in_null_out<f_replace>, true},
      {"jet_space", 1, null_in_null_out<f_space>, true},
      {"jet_cat", 2, f_cat, true},
      {"jet_like", 2, null_in_null_out<f_like>, true},
      {"jet_now", 0, f_now, false},
      {"jet_date", 0, f_date, false},
      {"jet_time", 0, f_time, false},
      {"jet_datepart", 2, null_in_null_out<f_datepart>, true},
      {"jet_dateserial", 3, null_in_null_out<f_dateserial>, true},
      {"jet_dateadd", 3, null_in_null_out<f_dateadd>, true},
      {"jet_datediff", 3, null_in_null_out<f_datediff>, true},
      {"jet_int", 1, null_in_null_out<f_int>, true},
      {"jet_fix", 1, null_in_null_out<f_fix>, true},
      {"jet_round", 2, null_in_null_out<f_round>, true},
      {"jet_sqr", 1, null_in_null_out<f_sqr>, true},
      {"jet_div", 2, null_in_null_out<f_div>, true},
      {"jet_intdiv", 2, null_in_null_out<f_intdiv>, true},
      {"jet_mod", 2, null_in_null_out<f_mod>, true},
      {"jet_pow", 2, null_in_null_out<f_pow>, true},
  };
  for (const auto& f : kFunctions) {
    int flags = SQLITE_UTF8 | (f.deterministic ? SQLITE_DETERMINISTIC : 0);
    sqlite3_create_function(db, f.name, f.arguments, flags, nullptr, f.function, nullptr, nullptr);
  }
  sqlite3_create_collation(db, "JET", SQLITE_UTF8, nullptr, collate_jet);
}

}  // namespace halvaro::sql
