#include "cli/csv_writer.h"

#include <cmath>
#include <charconv>
#include <cstdint>
#include <type_traits>
#include <variant>

namespace halvaro::cli {

namespace {

void append_text(std::string& out, std::string_view text) {
  bool quote = text.empty() || text.find_first_of(",\"\r\n") != std::string_view::npos;
  if (!quote) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

template <class Number>
void append_number(std::string& out, Number value) {
  char buffer[40];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void append_currency(std::string& out, Currency money) {
  // Split without negating the scaled value, which would overflow at INT64_MIN.
  uint64_t magnitude = money.scaled < 0 ? 0 - static_cast<uint64_t>(money.scaled)
                                        : static_cast<uint64_t>(money.scaled);
  if (money.scaled < 0) out += '-';
  append_number(out, magnitude / 10000);
  char fraction[5];
  uint64_t rest = magnitude % 10000;
  for (int i = 3; i >= 0; --i) {
    fraction[i] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  }
  fraction[4] = '\0';
  out += '.';
  out.append(fraction, 4);
}

void append_hex(std::string& out, const Binary& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  if (bytes.empty()) {
    out += "\"\"";  // zero bytes, told apart from null's empty field
    return;
  }
  for (uint8_t byte : bytes) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
  }
}

// "YYYY-MM-DD HH:MM:SS[.mmm]" as to_iso8601 writes it, without its printf (a dump
// writes millions of dates): rounded to the millisecond, the fraction only when there
// is one.
void append_date(std::string& out, DateTime when) {
  if (!std::isfinite(when.days)) {
    out += to_iso8601(when);
    return;
  }
  const RoundedTime t = round_to_millisecond(when);
  const CivilTime& c = t.civil;
  if (c.year < 0 || c.year > 9999) {
    out += to_iso8601(when);
    return;
  }
  char text[23];
  auto put = [&text](size_t at, int value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) text[at + size_t(i)] = static_cast<char>('0' + value % 10);
  };
  put(0, c.year, 4);
  text[4] = '-';
  put(5, c.month, 2);
  text[7] = '-';
  put(8, c.day, 2);
  text[10] = ' ';
  put(11, c.hour, 2);
  text[13] = ':';
  put(14, c.minute, 2);
  text[16] = ':';
  put(17, c.second, 2);
  size_t length = 19;
  if (t.milliseconds != 0) {
    text[19] = '.';
    put(20, t.milliseconds, 3);
    length = 23;
  }
  out.append(text, length);
}

}  // namespace

void append_csv_field(std::string& out, const FieldValue& value) {
  std::visit(
      [&out](const auto& v) {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          // null: nothing between the separators
        } else if constexpr (std::is_same_v<T, std::string>) {
          append_text(out, v);
        } else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, double>) {
          append_number(out, v);
        } else if constexpr (std::is_same_v<T, Currency>) {
          append_currency(out, v);
        } else if constexpr (std::is_same_v<T, DateTime>) {
          append_date(out, v);
        } else if constexpr (std::is_same_v<T, bool>) {
          out += v ? '1' : '0';
        } else if constexpr (std::is_same_v<T, Decimal> || std::is_same_v<T, Guid>) {
          out += to_string(v);
        } else if constexpr (std::is_same_v<T, Binary>) {
          append_hex(out, v);
        }
      },
      value.value);
}

void CsvWriter::write_header(std::span<const std::string> names) {
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) line_ += ',';
    append_text(line_, names[i]);
  }
  finish_line();
}

void CsvWriter::write_row(std::span<const FieldValue> values) {
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) line_ += ',';
    append_csv_field(line_, values[i]);
  }
  finish_line();
}

void CsvWriter::finish_line() {
  line_ += '\n';
  out_.write(line_.data(), static_cast<std::streamsize>(line_.size()));
  line_.clear();
}

}  // namespace halvaro::cli
