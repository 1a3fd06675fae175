#include "jet/base/field_value.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <random>

#include "platform/local_time.h"

namespace halvaro {

namespace {

// Days from 1970-01-01 to a civil date, and back (Howard Hinnant's algorithms).
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

const int64_t kEpochOffset = days_from_civil(1899, 12, 30);  // Jet day zero, in Unix days

}  // namespace

CivilTime to_civil(DateTime value) {
  // Defined for any bytes: a value far outside Access's range (damage) is taken as the
  // nearest of a million years either side, which keeps every step below within int64
  // and the year within int; not-a-number is taken as day zero.
  constexpr double kSafeDays = 365.25 * 1e6;
  if (std::isnan(value.days)) value.days = 0;
  value.days = std::clamp(value.days, -kSafeDays, kSafeDays);
  // Negative dates keep their time of day as a positive fraction: -1.25 is
  // 1899-12-29 06:00.
  double whole = std::trunc(value.days);
  double fraction = std::fabs(value.days - whole);
  auto seconds = static_cast<int64_t>(std::llround(fraction * 86400.0));
  if (seconds >= 86400) {  // rounding reached the next day
    seconds -= 86400;
    whole += value.days < 0 ? -1 : 1;
  }
  CivilTime civil;
  civil_from_days(static_cast<int64_t>(whole) + kEpochOffset, civil.year, civil.month, civil.day);
  civil.hour = static_cast<int>(seconds / 3600);
  civil.minute = static_cast<int>(seconds / 60 % 60);
  civil.second = static_cast<int>(seconds % 60);
  return civil;
}

DateTime local_now() {
  const std::tm local = platform::local_time(std::time(nullptr));
  return from_civil({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec});
}

DateTime from_civil(const CivilTime& c) {
  auto day = static_cast<double>(days_from_civil(c.year, static_cast<unsigned>(c.month),
                                                 static_cast<unsigned>(c.day)) -
                                 kEpochOffset);
  double fraction = (c.hour * 3600.0 + c.minute * 60.0 + c.second) / 86400.0;
  return DateTime{day < 0 ? day - fraction : day + fraction};
}

RoundedTime round_to_millisecond(DateTime value) {
  constexpr int64_t kMillisecondsPerDay = 86'400'000;
  double whole = std::trunc(value.days);
  auto milliseconds = std::llround(std::fabs(value.days - whole) * static_cast<double>(kMillisecondsPerDay));
  if (milliseconds >= kMillisecondsPerDay) {  // rounding reached the next day
    milliseconds -= kMillisecondsPerDay;
    whole += value.days < 0 ? -1 : 1;
  }
  RoundedTime rounded{to_civil(DateTime{whole}), static_cast<int>(milliseconds % 1000)};
  const auto seconds = static_cast<int>(milliseconds / 1000);
  rounded.civil.hour = seconds / 3600;
  rounded.civil.minute = seconds / 60 % 60;
  rounded.civil.second = seconds % 60;
  return rounded;
}

std::string to_iso8601(DateTime value) {
  // The fraction is printed only when there is one, so a whole second reads as before.
  const RoundedTime t = round_to_millisecond(value);
  const CivilTime& c = t.civil;
  char buffer[48];
  int n = std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                        c.minute, c.second);
  if (t.milliseconds != 0 && n > 0)
    std::snprintf(buffer + n, sizeof buffer - static_cast<size_t>(n), ".%03d", t.milliseconds);
  return buffer;
}

std::string to_string(const Decimal& value) {
  bool negative = value.unscaled < 0;
  UInt128 magnitude =
      negative ? static_cast<UInt128>(-(value.unscaled + 1)) + 1
               : static_cast<UInt128>(value.unscaled);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(magnitude % 10)));
    magnitude /= 10;
  } while (magnitude != 0);
  if (value.scale > 0) {
    if (digits.size() <= value.scale) digits.insert(0, value.scale - digits.size() + 1, '0');
    digits.insert(digits.size() - value.scale, ".");
  }
  return negative ? "-" + digits : digits;
}

std::string to_string(const Guid& value) {
  const auto& b = value.bytes;
  char buffer[40];
  std::snprintf(buffer, sizeof buffer,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", b[3],
                b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13],
                b[14], b[15]);
  return buffer;
}

Guid random_guid() {
  thread_local std::mt19937_64 random{std::random_device{}()};
  Guid g;
  for (size_t i = 0; i < g.bytes.size(); i += 8) {
    const uint64_t bits = random();
    for (size_t k = 0; k < 8; ++k) g.bytes[i + k] = static_cast<uint8_t>(bits >> (8 * k));
  }
  // The third group is stored little-endian: its high nibble (the version) is in
  // byte 7. Byte 8 starts the fourth group, whose top bits give the variant.
  g.bytes[7] = static_cast<uint8_t>((g.bytes[7] & 0x0F) | 0x40);
  g.bytes[8] = static_cast<uint8_t>((g.bytes[8] & 0x3F) | 0x80);
  return g;
}

}  // namespace halvaro
