#include "jet/writer/default_value.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <string>

namespace halvaro::jet {

namespace {

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// #yyyy-mm-dd [hh:mm[:ss]]# or #mm/dd/yyyy ...# (Access's US literal order).
std::optional<DateTime> parse_date_literal(std::string_view s) {
  CivilTime c{};
  int a = 0, b = 0, d = 0;
  char sep1 = 0, sep2 = 0;
  std::string text(s);
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d%c%d%c%d%n", &a, &sep1, &b, &sep2, &d, &consumed) < 5) return std::nullopt;
  if (sep1 == '-' && sep2 == '-') {
    c.year = a, c.month = b, c.day = d;
  } else if (sep1 == '/' && sep2 == '/') {
    c.month = a, c.day = b, c.year = d;
  } else {
    return std::nullopt;
  }
  c.hour = c.minute = c.second = 0;
  std::sscanf(text.c_str() + consumed, " %d:%d:%d", &c.hour, &c.minute, &c.second);
  if (c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 || c.hour > 23 || c.minute > 59 || c.second > 59)
    return std::nullopt;
  return from_civil(c);
}

}  // namespace

std::optional<FieldValue> convert_for_column(const FieldValue& v, ColumnType type) {
  if (v.is_null()) return v;
  switch (type) {
    case ColumnType::Text:
    case ColumnType::Memo:
      if (v.is<std::string>()) return v;
      if (v.is<int64_t>()) {
        std::optional<FieldValue> text;
        text.emplace(std::string(std::to_string(v.as<int64_t>())));
        return text;
      }
      return std::nullopt;
    case ColumnType::Boolean:
      if (v.is<bool>()) return v;
      if (v.is<int64_t>()) return FieldValue(v.as<int64_t>() != 0);
      return std::nullopt;
    case ColumnType::Byte:
    case ColumnType::Integer:
    case ColumnType::Long:
      if (v.is<int64_t>()) return v;
      if (v.is<bool>()) return FieldValue(int64_t{v.as<bool>() ? -1 : 0});
      if (v.is<double>() && std::nearbyint(v.as<double>()) == v.as<double>())
        return FieldValue(static_cast<int64_t>(v.as<double>()));
      return std::nullopt;
    case ColumnType::Single:
    case ColumnType::Double:
      if (v.is<double>()) return v;
      if (v.is<int64_t>()) return FieldValue(static_cast<double>(v.as<int64_t>()));
      return std::nullopt;
    case ColumnType::Currency:
      if (v.is<Currency>()) return v;
      if (v.is<int64_t>()) return FieldValue(Currency{v.as<int64_t>() * 10000});
      if (v.is<double>()) return FieldValue(Currency{std::llround(v.as<double>() * 10000.0)});
      return std::nullopt;
    case ColumnType::DateTime:
      if (v.is<DateTime>()) return v;
      return std::nullopt;
    case ColumnType::Numeric:
      if (v.is<Decimal>()) return v;
      if (v.is<int64_t>()) return FieldValue(Decimal{v.as<int64_t>(), 0});
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

FieldValue evaluate_default(std::string_view expression, ColumnType type) {
  std::string_view e = trim(expression);
  if (!e.empty() && e.front() == '=') e = trim(e.substr(1));
  if (e.empty()) return {};
  FieldValue literal;
  const std::string word = lower(e);
  if (e.size() >= 2 && (e.front() == '"' || e.front() == '\'') && e.back() == e.front()) {
    std::string text;
    const char quote = e.front();
    for (size_t i = 1; i + 1 < e.size(); ++i) {
      text.push_back(e[i]);
      if (e[i] == quote && i + 2 < e.size() && e[i + 1] == quote) ++i;  // doubled quote
    }
    literal = FieldValue(text);
  } else if (e.size() >= 2 && e.front() == '#' && e.back() == '#') {
    auto d = parse_date_literal(e.substr(1, e.size() - 2));
    if (!d) return {};
    literal = FieldValue(*d);
  } else if (word == "true" || word == "yes" || word == "on") {
    literal = FieldValue(true);
  } else if (word == "false" || word == "no" || word == "off") {
    literal = FieldValue(false);
  } else if (word == "null") {
    return {};
  } else if (word == "now()") {
    literal = FieldValue(local_now());
  } else if (word == "date()") {
    literal = FieldValue(DateTime{std::floor(local_now().days)});
  } else if (word == "time()") {
    double days = local_now().days;
    literal = FieldValue(DateTime{days - std::floor(days)});
  } else {
    int64_t whole = 0;
    auto [end, ec] = std::from_chars(e.data(), e.data() + e.size(), whole);
    if (ec == std::errc() && end == e.data() + e.size()) {
      literal = FieldValue(whole);
    } else {
      double number = 0;
      auto [end2, ec2] = std::from_chars(e.data(), e.data() + e.size(), number);
      if (ec2 != std::errc() || end2 != e.data() + e.size()) return {};
      literal = FieldValue(number);
    }
  }
  auto converted = convert_for_column(literal, type);
  return converted ? *converted : FieldValue{};
}

}  // namespace halvaro::jet
