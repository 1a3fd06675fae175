#pragma once
// Layer jet/base, the engine's foundation: the values a column holds (FieldValue and
// its kinds), the error types, the file formats' constants, little-endian byte
// readers and the text codecs. It knows nothing of pages or tables and uses only the
// standard library.

#include <array>
#include <compare>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace halvaro {

__extension__ typedef __int128 Int128;
__extension__ typedef unsigned __int128 UInt128;

// Currency: an exact amount in ten-thousandths (Jet's 64-bit scaled integer).
struct Currency {
  int64_t scaled = 0;  // value * 10000
  auto operator<=>(const Currency&) const = default;
};

// Date/time as Jet stores it: days since 1899-12-30 00:00, the fraction being the
// time of day. Negative values count backwards by whole days with a positive
// fraction (the OLE Automation convention).
struct DateTime {
  double days = 0;
  auto operator<=>(const DateTime&) const = default;
};

// Broken-down calendar date and time (proleptic Gregorian).
struct CivilTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  bool operator==(const CivilTime&) const = default;
};

CivilTime to_civil(DateTime value);
DateTime from_civil(const CivilTime& civil);
// The current local time as Jet stores it.
DateTime local_now();
// A value rounded to the millisecond, as finely as Access keeps a time it was given:
// its date and time of day, and the milliseconds past that second.
struct RoundedTime {
  CivilTime civil;
  int milliseconds = 0;
};
RoundedTime round_to_millisecond(DateTime value);

// "YYYY-MM-DD HH:MM:SS" (the time is always present), with ".mmm" when the time has
// a fraction of a second.
std::string to_iso8601(DateTime value);

// Decimal (Jet NUMERIC): an exact integer with a power-of-ten scale.
struct Decimal {
  Int128 unscaled = 0;
  uint8_t scale = 0;  // digits after the point
  bool operator==(const Decimal&) const = default;
};
// Plain decimal text: "-12.3400" keeps `scale` digits after the point.
std::string to_string(const Decimal& value);

struct Guid {
  std::array<uint8_t, 16> bytes{};  // as stored in the file
  bool operator==(const Guid&) const = default;
};
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with Windows' mixed-endian grouping.
std::string to_string(const Guid& value);
// A fresh random GUID (version 4), as Access gives a new row's ReplicationID.
Guid random_guid();

using Binary = std::vector<uint8_t>;

// The value of one column as the engine reads or accepts it. Text is UTF-8.
// Whole numbers (Byte, Integer, Long, autonumber) are int64_t; Single and Double
// are double.
struct FieldValue {
  using Storage = std::variant<std::monostate, std::string, int64_t, double, Currency, DateTime,
                               bool, Decimal, Guid, Binary>;
  Storage value;

  FieldValue() = default;
  FieldValue(std::monostate) {}
  FieldValue(std::string text) : value(std::move(text)) {}
  FieldValue(const char* text) : value(std::string(text)) {}
  FieldValue(int64_t whole) : value(whole) {}
  FieldValue(int whole) : value(int64_t{whole}) {}
  FieldValue(double number) : value(number) {}
  FieldValue(Currency money) : value(money) {}
  FieldValue(DateTime when) : value(when) {}
  FieldValue(bool flag) : value(flag) {}
  FieldValue(Decimal exact) : value(exact) {}
  FieldValue(Guid id) : value(id) {}
  FieldValue(Binary bytes) : value(std::move(bytes)) {}

  bool is_null() const { return std::holds_alternative<std::monostate>(value); }
  template <class T>
  bool is() const {
    return std::holds_alternative<T>(value);
  }
  template <class T>
  const T& as() const {
    return std::get<T>(value);
  }
  bool operator==(const FieldValue&) const = default;
};

}  // namespace halvaro
