#include "jet/base/field_value.h"

#include <gtest/gtest.h>

namespace halvaro {
namespace {

TEST(DateTimeConversion, KnownDaysRoundTrip) {
  struct Case {
    double days;
    const char* iso;
  };
  const Case cases[] = {
      {0.0, "1899-12-30 00:00:00"},    {1.0, "1899-12-31 00:00:00"},
      {2.0, "1900-01-01 00:00:00"},    {-1.25, "1899-12-29 06:00:00"},
      {45155.6078703704, "2023-08-17 14:35:20"},  // invoice date with a time of day
      {36526.5, "2000-01-01 12:00:00"}, {109574.0, "2199-12-31 00:00:00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(to_iso8601(DateTime{c.days}), c.iso) << c.days;
    EXPECT_NEAR(from_civil(to_civil(DateTime{c.days})).days, c.days, 1e-5) << c.iso;
  }
}

TEST(DateTimeConversion, TextKeepsMillisecondsAndRoundsOnlyBelowThem) {
  EXPECT_EQ(to_iso8601(DateTime{1.9999999}), "1899-12-31 23:59:59.991");
  EXPECT_EQ(to_iso8601(DateTime{1.999999999999}), "1900-01-01 00:00:00");  // 0.1 ms before midnight
  EXPECT_EQ(to_iso8601(DateTime{-1.5 - 0.25 / 86400}), "1899-12-29 12:00:00.250");
  EXPECT_EQ(to_iso8601(DateTime{36585.0 + 86399.5 / 86400}), "2000-02-29 23:59:59.500");
}

TEST(DecimalText, KeepsScaleAndSign) {
  EXPECT_EQ(to_string(Decimal{123456, 4}), "12.3456");
  EXPECT_EQ(to_string(Decimal{-5, 3}), "-0.005");
  EXPECT_EQ(to_string(Decimal{0, 2}), "0.00");
  EXPECT_EQ(to_string(Decimal{42, 0}), "42");
}

TEST(GuidText, UsesWindowsByteOrder) {
  Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  EXPECT_EQ(to_string(g), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");
}

}  // namespace
}  // namespace halvaro
