#include "cli/csv_writer.h"

#include <gtest/gtest.h>

#include <sstream>

namespace halvaro::cli {
namespace {

std::string field(const FieldValue& value) {
  std::string out;
  append_csv_field(out, value);
  return out;
}

TEST(CsvField, NullAndZeroLengthValuesDiffer) {
  EXPECT_EQ(field(FieldValue()), "");
  EXPECT_EQ(field(FieldValue("")), "\"\"");
  EXPECT_EQ(field(FieldValue(Binary{})), "\"\"");
  EXPECT_EQ(field(FieldValue(Binary{0x00, 0xAB})), "00ab");

  std::ostringstream out;
  CsvWriter writer(out);
  writer.write_row(std::vector<FieldValue>{FieldValue(), FieldValue(Binary{}), FieldValue(Binary{0x7f})});
  EXPECT_EQ(out.str(), ",\"\",7f\n");
}

TEST(CsvField, DatesKeepTheirFractionOfASecond) {
  // 2000-02-29 23:59:59.500: rounding to whole seconds would print the next day.
  const DateTime leap_evening = from_civil({2000, 2, 29, 23, 59, 59});
  EXPECT_EQ(field(DateTime{leap_evening.days + 0.5 / 86400}), "2000-02-29 23:59:59.500");
  EXPECT_EQ(field(leap_evening), "2000-02-29 23:59:59");
  EXPECT_EQ(field(DateTime{leap_evening.days + 0.001 / 86400}), "2000-02-29 23:59:59.001");
}

}  // namespace
}  // namespace halvaro::cli
