#include <gtest/gtest.h>

#include "db/exact_number.h"

namespace halvaro::test {
namespace {

using db::exact_number;
using db::ExactNumber;

std::string text(const FieldValue& v) { return db::to_string(exact_number(v).value()); }

TEST(ExactNumber, ReadsEveryNumericKindExactly) {
  EXPECT_EQ(text(int64_t{-1250}), "-1250");
  EXPECT_EQ(text(Currency{154321275}), "15432.1275");
  EXPECT_EQ(text(Currency{-5}), "-0.0005");
  EXPECT_EQ(text(Decimal{12340, 3}), "12.34");
  EXPECT_EQ(text(0.1), "0.1");  // as the Double shows, not its binary expansion
  EXPECT_EQ(text(1.5e-5), "0.000015");
  EXPECT_EQ(text(2.5e20), "250000000000000000000");
  EXPECT_EQ(text(" 12.50 "), "12.5");
  EXPECT_FALSE(exact_number(FieldValue{}).has_value());
  EXPECT_FALSE(exact_number("12 kg").has_value());
  EXPECT_FALSE(exact_number(true).has_value());
  EXPECT_FALSE(exact_number(DateTime{45000}).has_value());
}

TEST(ExactNumber, SumsWithoutBinaryRounding) {
  // Ten Doubles of 0.1 sum to 1 exactly, and currency keeps its last digit.
  ExactNumber sum{};
  for (int i = 0; i < 10; ++i) sum = sum + *exact_number(0.1);
  EXPECT_EQ(db::to_string(sum), "1");
  ExactNumber money = *exact_number(Currency{10001}) + *exact_number(0.33) - *exact_number(int64_t{2});
  EXPECT_EQ(db::to_string(money), "-0.6699");
  EXPECT_TRUE(*exact_number(Currency{15000}) == *exact_number(1.5));
  EXPECT_FALSE(*exact_number(Currency{15001}) == *exact_number(1.5));
}

}  // namespace
}  // namespace halvaro::test
