#include "sql/regional.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "sql/text_fold.h"

namespace halvaro::sql {

namespace {

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

std::string two_digits(int value) {
  if (value >= 0 && value < 100) return {static_cast<char>('0' + value / 10), static_cast<char>('0' + value % 10)};
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

// Patterns are ASCII: folding them needs no locale.
char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// The settings' patterns are written the Windows way (MM month, mm minutes); the
// renderer below reads the Format way (mm month after a date part, nn minutes).
std::string as_format_pattern(std::string_view windows, bool time) {
  std::string out;
  for (char c : windows) {
    if (c == 'M') out += 'm';
    else if (time && c == 'm') out += 'n';
    else if (c == 'H') out += 'h';
    else out += c;
  }
  return out;
}

std::string general_number(double number, int digits) {
  if (number == 0) return "0";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, number);
  std::string text = buffer;
  for (char& c : text) {
    if (c == 'e') c = 'E';
    if (c == '.') c = regional_settings().decimal_separator;
  }
  return text;
}

// Digits of an exact integer with `scale` digits after the point, trailing zeros dropped.
std::string exact_decimal(std::string digits, bool negative, int scale) {
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  std::string whole = digits.substr(0, digits.size() - static_cast<size_t>(scale));
  std::string fraction = digits.substr(digits.size() - static_cast<size_t>(scale));
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = negative ? "-" : "";
  text += whole;
  if (!fraction.empty()) text += regional_settings().decimal_separator + fraction;
  return text;
}

std::string currency_text(Currency value) {
  bool negative = value.scaled < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value.scaled)
                                : static_cast<uint64_t>(value.scaled);
  return exact_decimal(std::to_string(magnitude), negative, 4);
}

std::string decimal_text(const Decimal& value) {
  std::string plain = to_string(value);  // "-12.3400"
  bool negative = !plain.empty() && plain[0] == '-';
  if (negative) plain.erase(0, 1);
  std::string digits;
  for (char c : plain) {
    if (c != '.') digits += c;
  }
  while (digits.size() > 1 && digits[0] == '0' && digits.size() > value.scale + 1u) digits.erase(0, 1);
  return exact_decimal(digits, negative, value.scale);
}

// ---- Date patterns ----

bool is_date_letter(char c) {
  c = ascii_lower(c);
  return c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's' || c == 'w' ||
         c == 'q' || c == 'c';
}

bool starts_with_folded(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (ascii_lower(text[at + i]) != word[i]) return false;
  }
  return true;
}

int day_of_week(DateTime value) {  // 0 = Sunday; day zero (1899-12-30) was a Saturday
  auto days = static_cast<int64_t>(std::floor(value.days));
  return static_cast<int>(((days + 6) % 7 + 7) % 7);
}

std::string render_date(DateTime value, std::string_view pattern);

std::string render_date(DateTime value, std::string_view pattern) {
  const CivilTime t = to_civil(value);
  bool twelve_hour = false;
  for (size_t i = pattern.find_first_of("aA"); i < pattern.size(); ++i) {
    if (starts_with_folded(pattern, i, "am/pm") || starts_with_folded(pattern, i, "a/p") ||
        starts_with_folded(pattern, i, "ampm")) {
      twelve_hour = true;
    }
  }
  std::string out;
  out.reserve(pattern.size() + 8);
  bool after_hour = false;  // an m right after h or hh means minutes
  size_t i = 0;
  while (i < pattern.size()) {
    char c = pattern[i];
    char lower = ascii_lower(c);
    if (c == '"') {
      size_t end = pattern.find('"', i + 1);
      if (end == std::string_view::npos) throw std::invalid_argument("unterminated quote in format pattern");
      out += pattern.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    if (c == '\\' && i + 1 < pattern.size()) {
      out += pattern[i + 1];
      i += 2;
      continue;
    }
    if (lower == 'a' && (starts_with_folded(pattern, i, "am/pm") || starts_with_folded(pattern, i, "a/p"))) {
      bool am = c == 'A' || c == 'a';
      bool upper = std::isupper(static_cast<unsigned char>(c)) != 0;
      bool full = starts_with_folded(pattern, i, "am/pm");
      std::string mark = t.hour < 12 ? (full ? "am" : "a") : (full ? "pm" : "p");
      (void)am;
      if (upper) {
        for (char& m : mark) m = static_cast<char>(std::toupper(static_cast<unsigned char>(m)));
      }
      out += mark;
      i += full ? 5 : 3;
      continue;
    }
    if (lower == 'a' && starts_with_folded(pattern, i, "ampm")) {
      out += t.hour < 12 ? "AM" : "PM";
      i += 4;
      continue;
    }
    if (!is_date_letter(c)) {
      if (c == '/') out += regional_settings().date_separator;
      else out += c;
      ++i;
      continue;
    }
    size_t run = 1;
    while (i + run < pattern.size() &&
           ascii_lower(pattern[i + run]) == lower) {
      ++run;
    }
    const int hour = twelve_hour ? (t.hour % 12 == 0 ? 12 : t.hour % 12) : t.hour;
    switch (lower) {
      case 'd':
        if (run == 1) out += std::to_string(t.day);
        else if (run == 2) out += two_digits(t.day);
        else if (run == 3) out += std::string(kDayNames[day_of_week(value)]).substr(0, 3);
        else if (run == 4) out += kDayNames[day_of_week(value)];
        else if (run == 5) out += render_date(value, as_format_pattern(regional_settings().short_date, false));
        else out += render_date(value, "dddd, d mmmm yyyy");
        break;
      case 'm':
        if (after_hour && run <= 2) {
          out += run == 1 ? std::to_string(t.minute) : two_digits(t.minute);
        } else if (run == 1) {
          out += std::to_string(t.month);
        } else if (run == 2) {
          out += two_digits(t.month);
        } else if (run == 3) {
          out += std::string(kMonthNames[t.month - 1]).substr(0, 3);
        } else {
          out += kMonthNames[t.month - 1];
        }
        break;
      case 'y':
        if (run == 1) {
          out += std::to_string(static_cast<int>(std::floor(value.days)) -
                                static_cast<int>(std::floor(from_civil({t.year, 1, 1, 0, 0, 0}).days)) + 1);
        } else if (run == 2) {
          out += two_digits(t.year % 100);
        } else if (t.year >= 1000 && t.year <= 9999) {
          out += two_digits(t.year / 100);
          out += two_digits(t.year % 100);
        } else {
          char buffer[16];
          std::snprintf(buffer, sizeof buffer, "%04d", t.year);
          out += buffer;
        }
        break;
      case 'h': out += run == 1 ? std::to_string(hour) : two_digits(hour); break;
      case 'n': out += run == 1 ? std::to_string(t.minute) : two_digits(t.minute); break;
      case 's': out += run == 1 ? std::to_string(t.second) : two_digits(t.second); break;
      case 'w':
        if (run == 1) out += std::to_string(day_of_week(value) + 1);
        else throw std::invalid_argument("format pattern 'ww' is not supported");
        break;
      case 'q': out += std::to_string((t.month - 1) / 3 + 1); break;
      case 'c': out += text_form(FieldValue(value)); break;
    }
    after_hour = lower == 'h';
    i += run;
  }
  return out;
}

// ---- Number patterns ----

// Rounds half away from zero to `decimals` digits and returns the digits without
// sign, with exactly `decimals` digits after the (implied) point.
std::string fixed_digits(double magnitude, int decimals) {
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, magnitude);
  // printf rounds half to even on the binary value; nudge ties away from zero.
  double scaled = magnitude * std::pow(10.0, decimals);
  if (std::fabs(scaled - std::floor(scaled) - 0.5) < 1e-9 && scaled < 1e15) {
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals,
                  (std::floor(scaled) + 1) / std::pow(10.0, decimals));
  }
  return buffer;
}

std::string group_thousands(const std::string& whole) {
  std::string out;
  int count = 0;
  for (size_t i = whole.size(); i-- > 0;) {
    out.insert(out.begin(), whole[i]);
    if (++count % 3 == 0 && i > 0) out.insert(out.begin(), ',');
  }
  return out;
}

std::string render_number(double number, std::string_view pattern) {
  size_t first = pattern.find_first_of("0#");
  size_t last = pattern.find_last_of("0#");
  if (first == std::string_view::npos) {
    std::string literal(pattern);
    return literal;
  }
  std::string prefix(pattern.substr(0, first));
  std::string body(pattern.substr(first, last - first + 1));
  std::string suffix(pattern.substr(last + 1));
  if (body.find_first_of("Ee") != std::string::npos) {
    throw std::invalid_argument("scientific format patterns are not supported");
  }
  bool percent = prefix.find('%') != std::string::npos || suffix.find('%') != std::string::npos;
  if (percent) number *= 100;
  size_t point = body.find('.');
  std::string whole_pattern = body.substr(0, point);
  std::string fraction_pattern = point == std::string::npos ? "" : body.substr(point + 1);
  // A point in the suffix ("0.") belongs to the number too.
  if (point == std::string::npos && !suffix.empty() && suffix[0] == '.') {
    fraction_pattern = "";
    suffix.erase(0, 1);
  }
  int required = 0, optional = 0;
  for (char c : fraction_pattern) {
    if (c == '0') ++required;
    else if (c == '#') ++optional;
  }
  int min_whole = 0;
  bool grouping = false;
  for (char c : whole_pattern) {
    if (c == '0') ++min_whole;
    else if (c == ',') grouping = true;
  }
  std::string digits = fixed_digits(std::fabs(number), required + optional);
  std::string whole = digits.substr(0, digits.find('.'));
  std::string fraction = digits.find('.') == std::string::npos ? "" : digits.substr(digits.find('.') + 1);
  while (static_cast<int>(fraction.size()) > required && !fraction.empty() && fraction.back() == '0') {
    fraction.pop_back();
  }
  while (whole.size() > 1 && whole[0] == '0') whole.erase(0, 1);
  if (whole == "0" && min_whole == 0) whole.clear();
  while (static_cast<int>(whole.size()) < min_whole) whole.insert(whole.begin(), '0');
  if (grouping) whole = group_thousands(whole);
  bool zero = whole.find_first_not_of("0,") == std::string::npos &&
              fraction.find_first_not_of('0') == std::string::npos;
  std::string out = (number < 0 && !zero) ? "-" : "";
  auto literal = [](const std::string& text) {
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '"') continue;
      if (text[i] == '\\' && i + 1 < text.size()) {
        plain += text[++i];
        continue;
      }
      plain += text[i];
    }
    return plain;
  };
  out += literal(prefix) + whole;
  if (point != std::string::npos && (!fraction.empty() || required > 0)) {
    out += regional_settings().decimal_separator + fraction;
  } else if (point != std::string::npos && body.back() == '.') {
    out += regional_settings().decimal_separator;
  }
  out += literal(suffix);
  return out;
}

std::optional<double> number_of(const FieldValue& value) {
  if (value.is<int64_t>()) return static_cast<double>(value.as<int64_t>());
  if (value.is<double>()) return value.as<double>();
  if (value.is<Currency>()) return static_cast<double>(value.as<Currency>().scaled) / 10000.0;
  if (value.is<bool>()) return value.as<bool>() ? -1.0 : 0.0;
  if (value.is<DateTime>()) return value.as<DateTime>().days;
  if (value.is<Decimal>()) return std::strtod(to_string(value.as<Decimal>()).c_str(), nullptr);
  if (value.is<std::string>()) return parse_number(value.as<std::string>());
  return std::nullopt;
}

std::optional<DateTime> date_of(const FieldValue& value) {
  if (value.is<DateTime>()) return value.as<DateTime>();
  if (value.is<std::string>()) return parse_date(value.as<std::string>());
  if (auto number = number_of(value)) return DateTime{*number};
  return std::nullopt;
}

bool pattern_is_date(std::string_view pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '"') {
      size_t end = pattern.find('"', i + 1);
      if (end == std::string_view::npos) break;
      i = end;
    } else if (pattern[i] == '\\') {
      ++i;
    } else if (is_date_letter(pattern[i])) {
      return true;
    }
  }
  return false;
}

std::string render_scientific(double number) {
  if (number == 0) return "0.00E+00";
  int exponent = static_cast<int>(std::floor(std::log10(std::fabs(number))));
  double mantissa = number / std::pow(10.0, exponent);
  std::string digits = fixed_digits(std::fabs(mantissa), 2);
  if (digits.rfind("10", 0) == 0) {
    ++exponent;
    digits = fixed_digits(std::fabs(mantissa) / 10, 2);
  }
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return (number < 0 ? "-" : "") + digits + buffer;
}

std::optional<std::string> named_format(const FieldValue& value, std::string_view pattern) {
  // The names are ASCII: most patterns differ from each in length, and an ASCII pattern
  // is compared without folding a copy of it. (compare_folded against each of the twenty
  // names cost more than folding the copy did.)
  const bool ascii =
      std::all_of(pattern.begin(), pattern.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  const std::string folded = ascii ? std::string() : fold_case(pattern);
  auto name_is = [&](std::string_view name) {
    if (!ascii) return folded == name;
    return pattern.size() == name.size() && starts_with_folded(pattern, 0, name);
  };
  const RegionalSettings& settings = regional_settings();
  auto need_date = [&]() {
    auto date = date_of(value);
    if (!date) throw std::invalid_argument("value is not a date");
    return *date;
  };
  auto need_number = [&]() {
    auto number = number_of(value);
    if (!number) throw std::invalid_argument("value is not a number");
    return *number;
  };
  auto text_if_not_number = [&]() -> std::optional<std::string> {
    if (!number_of(value)) return text_form(value);
    return std::nullopt;
  };
  if (name_is("general date")) return text_form(FieldValue(need_date()));
  if (name_is("long date")) return render_date(need_date(), "dddd, d mmmm yyyy");
  if (name_is("medium date")) return render_date(need_date(), "dd-mmm-yy");
  if (name_is("short date")) return render_date(need_date(), as_format_pattern(settings.short_date, false));
  if (name_is("long time")) return render_date(need_date(), as_format_pattern(settings.time, true));
  if (name_is("medium time")) return render_date(need_date(), "hh:nn AMPM");
  if (name_is("short time")) return render_date(need_date(), "hh:nn");
  if (name_is("general number")) {
    if (auto text = text_if_not_number()) return text;
    return general_number(need_number(), 15);
  }
  if (name_is("fixed")) {
    if (auto text = text_if_not_number()) return text;
    return render_number(need_number(), "0.00");
  }
  if (name_is("standard")) {
    if (auto text = text_if_not_number()) return text;
    return render_number(need_number(), "#,##0.00");
  }
  if (name_is("percent")) {
    if (auto text = text_if_not_number()) return text;
    return render_number(need_number(), "0.00%");
  }
  if (name_is("scientific")) {
    if (auto text = text_if_not_number()) return text;
    return render_scientific(need_number());
  }
  if (name_is("yes/no")) return need_number() != 0 ? "Yes" : "No";
  if (name_is("true/false")) return need_number() != 0 ? "True" : "False";
  if (name_is("on/off")) return need_number() != 0 ? "On" : "Off";
  if (name_is("currency") || name_is("euro")) {
    throw std::invalid_argument("the named format '" + std::string(pattern) +
                                "' needs a currency symbol, which the regional settings do not set");
  }
  return std::nullopt;
}

// Reads an unsigned run of digits; advances `at`.
std::optional<int> read_digits(std::string_view text, size_t& at, size_t max_digits) {
  size_t start = at;
  int value = 0;
  while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && at - start < max_digits) {
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  if (at == start) return std::nullopt;
  return value;
}

void skip_blanks(std::string_view text, size_t& at) {
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
}

// A month as digits or as its English name or abbreviation ("8", "Aug", "august").
std::optional<int> read_month(std::string_view text, size_t& at) {
  if (auto digits = read_digits(text, at, 2)) return digits;
  size_t end = at;
  while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
  std::string word = fold_case(text.substr(at, end - at));
  if (word.size() < 3) return std::nullopt;
  for (int month = 0; month < 12; ++month) {
    std::string name = fold_case(kMonthNames[month]);
    if (name == word || name.substr(0, 3) == word) {
      at = end;
      return month + 1;
    }
  }
  return std::nullopt;
}

bool valid_day(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

// "H:mm[:ss] [AM|PM]" from `at` to the end.
bool read_time(std::string_view text, size_t& at, CivilTime& civil) {
  auto hour = read_digits(text, at, 2);
  if (!hour || at >= text.size() || text[at] != ':') return false;
  ++at;
  auto minute = read_digits(text, at, 2);
  if (!minute) return false;
  int second = 0;
  if (at < text.size() && text[at] == ':') {
    ++at;
    auto s = read_digits(text, at, 2);
    if (!s) return false;
    second = *s;
  }
  skip_blanks(text, at);
  int h = *hour;
  if (starts_with_folded(text, at, "am") || starts_with_folded(text, at, "pm")) {
    bool pm = std::tolower(static_cast<unsigned char>(text[at])) == 'p';
    if (h < 1 || h > 12) return false;
    h = h % 12 + (pm ? 12 : 0);
    at += 2;
  }
  if (h > 23 || *minute > 59 || second > 59) return false;
  civil.hour = h;
  civil.minute = *minute;
  civil.second = second;
  return true;
}

}  // namespace

const RegionalSettings& regional_settings() {
  static const RegionalSettings settings;
  return settings;
}

std::string text_form(const FieldValue& value) {
  return text_form(value, Kind::Variant);
}

std::string text_form(const FieldValue& value, Kind kind) {
  const auto& v = value.value;
  if (std::holds_alternative<std::monostate>(v)) return "";
  if (auto text = std::get_if<std::string>(&v)) return *text;
  if (auto whole = std::get_if<int64_t>(&v)) return std::to_string(*whole);
  if (auto number = std::get_if<double>(&v)) return general_number(*number, kind == Kind::Single ? 7 : 15);
  if (auto money = std::get_if<Currency>(&v)) return currency_text(*money);
  if (auto flag = std::get_if<bool>(&v)) return *flag ? "True" : "False";
  if (auto exact = std::get_if<Decimal>(&v)) return decimal_text(*exact);
  if (auto id = std::get_if<Guid>(&v)) return to_string(*id);
  if (auto when = std::get_if<DateTime>(&v)) {
    static const std::string short_date = as_format_pattern(regional_settings().short_date, false);
    static const std::string time = as_format_pattern(regional_settings().time, true);
    // Dates come in runs (one invoice's items, the rows an item query tests): the text
    // last rendered on this thread is given again for the same date. It is kept in plain
    // bytes, with nothing to destroy: in the Windows build (MinGW-w64's emulated
    // thread-local storage) a thread-local object's storage can be freed before its
    // destructor runs as its thread ends, and a std::string there then frees freed memory.
    struct LastDate {
      bool set = false;
      double days = 0;
      size_t size = 0;
      char text[64];
    };
    thread_local LastDate last;
    if (last.set && last.days == when->days) return std::string(last.text, last.size);
    std::string text = render_date(*when, short_date);
    CivilTime civil = to_civil(*when);
    if (civil.hour != 0 || civil.minute != 0 || civil.second != 0) text += ' ' + render_date(*when, time);
    last.set = text.size() <= sizeof last.text;
    if (last.set) {
      last.days = when->days;
      last.size = text.size();
      std::memcpy(last.text, text.data(), text.size());
    }
    return text;
  }
  const auto& bytes = std::get<Binary>(v);
  return std::string(bytes.begin(), bytes.end());
}

std::optional<DateTime> parse_date(std::string_view text) {
  size_t at = 0;
  skip_blanks(text, at);
  CivilTime civil;
  size_t start = at;
  auto first = read_digits(text, at, 4);
  if (!first) return std::nullopt;
  if (at < text.size() && text[at] == ':') {  // a time alone
    at = start;
    if (!read_time(text, at, civil)) return std::nullopt;
  } else {
    if (at >= text.size()) return std::nullopt;
    char separator = text[at];
    if (separator != regional_settings().date_separator && separator != '-' && separator != '.' &&
        separator != ' ') {
      return std::nullopt;
    }
    bool iso = at - start == 4;
    ++at;
    auto second = iso ? read_digits(text, at, 2) : read_month(text, at);
    if (!second || at >= text.size() || text[at] != separator) return std::nullopt;
    ++at;
    size_t year_start = at;
    auto third = read_digits(text, at, iso ? 2 : 4);
    if (!third) return std::nullopt;
    if (iso) {
      civil.year = *first, civil.month = *second, civil.day = *third;
    } else {
      civil.day = *first, civil.month = *second, civil.year = *third;
      if (at - year_start <= 2) civil.year += civil.year < 30 ? 2000 : 1900;
      else if (at - year_start != 4) return std::nullopt;
    }
    if (!valid_day(civil.year, civil.month, civil.day) || civil.year < 100) return std::nullopt;
    skip_blanks(text, at);
    if (at < text.size() && text[at] == 'T' && iso) ++at;
    if (at < text.size() && !read_time(text, at, civil)) return std::nullopt;
  }
  skip_blanks(text, at);
  if (at != text.size()) return std::nullopt;
  return from_civil(civil);
}

std::optional<double> parse_number(std::string_view text) {
  std::string plain;
  size_t at = 0;
  skip_blanks(text, at);
  size_t end = text.size();
  while (end > at && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  for (size_t i = at; i < end; ++i) {
    char c = text[i];
    if (c == regional_settings().decimal_separator) plain += '.';
    else if (std::isdigit(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == 'e' || c == 'E') plain += c;
    else return std::nullopt;
  }
  if (plain.empty()) return std::nullopt;
  char* stop = nullptr;
  double number = std::strtod(plain.c_str(), &stop);
  if (stop != plain.c_str() + plain.size() || !std::isfinite(number)) return std::nullopt;
  return number;
}

std::string format(const FieldValue& value, std::string_view pattern) {
  if (pattern.empty()) return text_form(value);
  if (value.is_null()) return "";
  if (auto named = named_format(value, pattern)) return *named;
  if (pattern.find_first_of("@<>!") != std::string_view::npos &&
      pattern.find('"') == std::string_view::npos) {
    throw std::invalid_argument("text format patterns ('" + std::string(pattern) + "') are not supported");
  }
  // Sections: positive;negative;zero (number patterns only).
  std::vector<std::string_view> sections;
  size_t from = 0;
  bool quoted = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '"') quoted = !quoted;
    if (pattern[i] == ';' && !quoted) {
      sections.push_back(pattern.substr(from, i - from));
      from = i + 1;
    }
  }
  sections.push_back(pattern.substr(from));
  if (pattern_is_date(sections[0])) {
    auto date = date_of(value);
    if (!date) return text_form(value);
    return render_date(*date, sections[0]);
  }
  auto number = number_of(value);
  if (!number) return text_form(value);
  if (*number < 0 && sections.size() > 1 && !sections[1].empty()) {
    return render_number(-*number, sections[1]);
  }
  if (*number == 0 && sections.size() > 2 && !sections[2].empty()) {
    return render_number(0, sections[2]);
  }
  return render_number(*number, sections[0]);
}

}  // namespace halvaro::sql
