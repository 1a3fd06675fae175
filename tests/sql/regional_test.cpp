#include "sql/regional.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/sql/print_value.h"

namespace halvaro::sql {
namespace {

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return from_civil({y, mo, d, h, mi, s});
}

TEST(TextForm, DatesUseTheShortDateAndAddTheTimeOnlyWhenNotMidnight) {
  EXPECT_EQ(text_form(at(2023, 8, 17, 14, 35, 20)), "17/08/2023 14:35:20");
  EXPECT_EQ(text_form(at(2023, 8, 17)), "17/08/2023");
  EXPECT_EQ(text_form(at(2026, 12, 5, 0, 0, 1)), "05/12/2026 00:00:01");
  EXPECT_EQ(text_form(DateTime{0}), "30/12/1899");
  EXPECT_EQ(text_form(at(1850, 1, 2, 6, 0, 0)), "02/01/1850 06:00:00");
  // Dates in runs, as rows give them, each with its own text; a date and the number of
  // the same value are told apart.
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(text_form(at(2023, 8, 17)), "17/08/2023");
    EXPECT_EQ(text_form(at(2023, 8, 17)), "17/08/2023");
    EXPECT_EQ(text_form(at(2023, 8, 17, 14, 35, 20)), "17/08/2023 14:35:20");
    EXPECT_EQ(text_form(FieldValue(at(2023, 8, 17).days)), "45155");
    EXPECT_EQ(text_form(at(2023, 8, 17)), "17/08/2023");
  }
}

// Threads render dates (a run's workers do) and end: each keeps its own last text, and
// what a thread kept goes with it without harm to the heap the others use.
TEST(TextForm, DatesRenderedOnThreadsThatEndGiveEachThreadsOwnText) {
  for (int round = 0; round < 20; ++round) {
    std::vector<std::thread> threads;
    std::vector<std::string> texts(8);
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&texts, t] {
        const DateTime when = at(2023, 8, 1 + t, t, 0, 0);
        texts[size_t(t)] = text_form(when) + "|" + text_form(when);
      });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < 8; ++t) {
      const std::string one = text_form(at(2023, 8, 1 + t, t, 0, 0));
      EXPECT_EQ(texts[size_t(t)], one + "|" + one);
    }
  }
}

TEST(TextForm, NumbersInTheirOrdinaryDecimalForm) {
  EXPECT_EQ(text_form(FieldValue()), "");
  EXPECT_EQ(text_form(FieldValue("INV-O'7")), "INV-O'7");
  EXPECT_EQ(text_form(FieldValue(int64_t{-4587123})), "-4587123");
  EXPECT_EQ(text_form(FieldValue(1.5)), "1.5");
  EXPECT_EQ(text_form(FieldValue(0.1 + 0.2)), "0.3");
  EXPECT_EQ(text_form(FieldValue(1e20)), "1E+20");
  EXPECT_EQ(text_form(FieldValue(0.00001)), "1E-05");
  EXPECT_EQ(text_form(FieldValue(123456789012345.0)), "123456789012345");
  EXPECT_EQ(text_form(FieldValue(static_cast<double>(1.1f)), Kind::Single), "1.1");
  EXPECT_EQ(text_form(FieldValue(Currency{154321275})), "15432.1275");
  EXPECT_EQ(text_form(FieldValue(Currency{-12500000})), "-1250");
  EXPECT_EQ(text_form(FieldValue(Currency{5})), "0.0005");
  EXPECT_EQ(text_form(FieldValue(Decimal{-123400, 4})), "-12.34");
  EXPECT_EQ(text_form(FieldValue(true)), "True");
}

TEST(ParseDate, ReadsTheShortDateIsoAndTimesAndRejectsTheRest) {
  EXPECT_EQ(parse_date("17/08/2023 14:35:20"), at(2023, 8, 17, 14, 35, 20));
  EXPECT_EQ(parse_date(" 1/2/2023 9:05 "), at(2023, 2, 1, 9, 5, 0));
  EXPECT_EQ(parse_date("2023-08-17"), at(2023, 8, 17));
  EXPECT_EQ(parse_date("17/08/23"), at(2023, 8, 17));
  EXPECT_EQ(parse_date("17/08/45"), at(1945, 8, 17));
  EXPECT_EQ(parse_date("2:30:00 PM"), at(1899, 12, 30, 14, 30, 0));
  EXPECT_EQ(parse_date("17-Aug-2023"), at(2023, 8, 17));  // the Medium Date form reads back
  EXPECT_EQ(parse_date("5 December 2026 14:00"), at(2026, 12, 5, 14, 0, 0));
  EXPECT_EQ(parse_date(format(at(2023, 8, 17), "Medium Date")), at(2023, 8, 17));
  EXPECT_EQ(parse_date("17-Au-2023"), std::nullopt);
  EXPECT_EQ(parse_date("29/02/2023"), std::nullopt);
  EXPECT_EQ(parse_date("17/13/2023"), std::nullopt);
  EXPECT_EQ(parse_date("17/08/2023 25:00"), std::nullopt);
  EXPECT_EQ(parse_date("N1"), std::nullopt);
  EXPECT_EQ(parse_date("17/08/2023 junk"), std::nullopt);
  // Round trip through the text form.
  auto when = at(2024, 2, 29, 23, 59, 59);
  EXPECT_EQ(parse_date(text_form(when)), when);
}

TEST(Format, DatePatternsAndNamedForms) {
  auto when = at(2026, 12, 5, 14, 7, 9);
  EXPECT_EQ(format(when, "dd/mm/yyyy"), "05/12/2026");
  EXPECT_EQ(format(when, "d/m/yy"), "5/12/26");
  EXPECT_EQ(format(when, "yyyy-mm-dd hh:nn:ss"), "2026-12-05 14:07:09");
  EXPECT_EQ(format(when, "hh:mm"), "14:07");  // m after h means minutes
  EXPECT_EQ(format(when, "h:nn AM/PM"), "2:07 PM");
  EXPECT_EQ(format(when, "ddd dd mmm yyyy"), "Sat 05 Dec 2026");
  EXPECT_EQ(format(when, "mmmm \"of\" yyyy"), "December of 2026");
  EXPECT_EQ(format(when, "Short Date"), "05/12/2026");
  EXPECT_EQ(format(when, "General Date"), "05/12/2026 14:07:09");
  EXPECT_EQ(format(when, "Medium Date"), "05-Dec-26");
  EXPECT_EQ(format(when, "Long Time"), "14:07:09");
  EXPECT_EQ(format(when, "LONG TIME"), "14:07:09");  // names in any case
  EXPECT_EQ(format(FieldValue("17/08/2023"), "yyyymmdd"), "20230817");
  EXPECT_EQ(format(FieldValue(), "dd/mm/yyyy"), "");
}

TEST(Format, NumberPatternsAndNamedForms) {
  EXPECT_EQ(format(FieldValue(1234.5), "0.00"), "1234.50");
  EXPECT_EQ(format(FieldValue(1234.5), "#,##0.00"), "1,234.50");
  EXPECT_EQ(format(FieldValue(2.5), "0"), "3");
  EXPECT_EQ(format(FieldValue(-0.125), "0.00"), "-0.13");
  EXPECT_EQ(format(FieldValue(0.256), "0%"), "26%");
  EXPECT_EQ(format(FieldValue(7), "000"), "007");
  EXPECT_EQ(format(FieldValue(Currency{154321275}), "Standard"), "15,432.13");
  EXPECT_EQ(format(FieldValue(1234.5), "Fixed"), "1234.50");
  EXPECT_EQ(format(FieldValue(0.5), "Percent"), "50.00%");
  EXPECT_EQ(format(FieldValue(12345.0), "Scientific"), "1.23E+04");
  EXPECT_EQ(format(FieldValue(-3), "0;(0)"), "(3)");
  EXPECT_EQ(format(FieldValue(0), "Yes/No"), "No");
  EXPECT_EQ(format(FieldValue(true), "True/False"), "True");
  EXPECT_EQ(format(FieldValue("abc"), "0.00"), "abc");
  EXPECT_THROW(format(FieldValue(1), "Currency"), std::invalid_argument);
  EXPECT_THROW(format(FieldValue("x"), ">@"), std::invalid_argument);
}

}  // namespace
}  // namespace halvaro::sql
