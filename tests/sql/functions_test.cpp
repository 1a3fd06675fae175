// The VBA functions and the Like operator as queries see them, and the case folding
// behind every text comparison.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sql/functions.h"
#include "sql/query_engine.h"
#include "sql/regional.h"
#include "sql/text_fold.h"
#include "tests/sql/print_value.h"

namespace halvaro::sql {
namespace {

TEST(LikeMatch, WildcardsSetsAndRanges) {
  EXPECT_TRUE(like_match("", "*"));
  EXPECT_TRUE(like_match("abc", "a*"));
  EXPECT_TRUE(like_match("abc", "*c"));
  EXPECT_TRUE(like_match("abc", "a?c"));
  EXPECT_FALSE(like_match("ac", "a?c"));
  EXPECT_TRUE(like_match("a1c", "a#c"));
  EXPECT_FALSE(like_match("abc", "a#c"));
  EXPECT_TRUE(like_match("a*c", "a[*]c"));
  EXPECT_FALSE(like_match("abc", "a[*]c"));
  EXPECT_TRUE(like_match("aec", "a[!b-d]c"));
  EXPECT_FALSE(like_match("acc", "a[!b-d]c"));
  EXPECT_TRUE(like_match("ABC", "a[a-c]c"));
  EXPECT_TRUE(like_match("Ärger", "ä*"));
  EXPECT_TRUE(like_match("INV-O'7", "*O'#"));
  EXPECT_FALSE(like_match("abc", "ab"));  // the whole text must match
  EXPECT_FALSE(like_match("abc", ""));
}

TEST(TextFold, LettersOfTheAlphabetsTheFilesUse) {
  EXPECT_EQ(fold_case("ÀÉÎÕÜ ÇÑ Ÿ"), "àéîõü çñ ÿ");
  EXPECT_EQ(fold_case("ŁÓDŹ ŠČŘ"), "łódź ščř");
  EXPECT_EQ(fold_case("ΑΒΓ ΣΩ"), "αβγ σω");
  EXPECT_EQ(fold_case("МОСКВА ЁЖ"), "москва ёж");
  EXPECT_EQ(upper_case("straße ёж łódź ÿ"), "STRAßE ЁЖ ŁÓDŹ Ÿ");
  EXPECT_EQ(fold_case("اردو ١٢٣"), "اردو ١٢٣");  // scripts without case are left alone
  EXPECT_EQ(compare_folded("Müller", "MÜLLER"), 0);
  EXPECT_LT(compare_folded("apple", "Banana"), 0);
  EXPECT_LT(compare_folded("abc", "ABCD"), 0);
  EXPECT_GT(compare_folded("b", "A"), 0);
  // Texts that part inside a two-byte character are compared by whole characters.
  EXPECT_EQ(compare_folded("M\u00FCller", "M\u00DCller"), 0);
  EXPECT_LT(compare_folded("M\u00FC", "M\u00FDa"), 0);
  EXPECT_GT(compare_folded("M\u00FDa", "M\u00DC"), 0);
  EXPECT_EQ(utf8_length("Söhne"), 5u);
  EXPECT_EQ(utf8_offset("Söhne", 2), 3u);
}

// Texts made of pieces drawn at random, the same on every run.
class RandomTexts {
 public:
  RandomTexts(std::vector<std::string> pieces, uint32_t seed) : pieces_(std::move(pieces)), state_(seed) {}
  uint32_t next(uint32_t bound) {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 16) % bound;
  }
  std::string text(size_t pieces) {
    std::string s;
    for (size_t i = 0; i < pieces; ++i) s += pieces_[next(static_cast<uint32_t>(pieces_.size()))];
    return s;
  }

 private:
  std::vector<std::string> pieces_;
  uint32_t state_;
};

int sign(int v) { return (v > 0) - (v < 0); }

// Long keys are compared eight bytes at a time until they part: wherever that is (in
// or after the first eight bytes, inside a two-byte character, at a case difference),
// the order must be that of the folded texts.
TEST(TextFold, ComparisonAgreesWithFoldedTextsWhereverLongTextsPart) {
  const std::vector<std::string> pieces = {"a", "A", "b", "z", "1", "\u00FC", "\u00DC", "\u00FD", "\u0416", " "};
  RandomTexts random(pieces, 12345);
  for (int round = 0; round < 4000; ++round) {
    const std::string shared = random.text(random.next(20));
    const std::string a = shared + random.text(random.next(4));
    std::string b = shared + random.text(random.next(4));
    if (round % 3 == 0) b = fold_case(a);  // equal but for case
    EXPECT_EQ(sign(compare_folded(a, b)), sign(fold_case(a).compare(fold_case(b)))) << a << " | " << b;
  }
}

// The collation of the scratch database decides most comparisons at the first byte
// that differs; every answer must be the folded comparison of the trimmed texts, also
// for texts that part inside a character, end in blanks or NULs, or are not UTF-8 (an
// order that disagreed between two ways of comparing would break an index).
TEST(TextFold, JetComparisonIsTheFoldedComparisonOfTheTextsWithoutTrailingBlanks) {
  EXPECT_EQ(compare_jet("INV-7  ", std::string("inv-7\0", 6)), 0);
  EXPECT_LT(compare_jet("abc ", "abcd"), 0);
  EXPECT_GT(compare_jet("b", "A  "), 0);
  // A lone lead byte reads as a character of its own (U+00C3, folded U+00E3), which
  // sorts after the whole character that starts with it here (U+00C0, folded U+00E0):
  // the shorter text is not simply the smaller.
  EXPECT_GT(compare_jet("\xC3", "\xC3\x80"), 0);
  const std::vector<std::string> pieces = {"a", "A", "b", "Z", "7", " ", std::string("\0", 1), "\u00FC", "\u00DC",
                                           "\u0416", "\u0436", "\xC3", "\x80", "\xA9", "\xE2\x82"};
  RandomTexts random(pieces, 2024);
  for (int round = 0; round < 20000; ++round) {
    const std::string shared = random.text(random.next(12));
    const std::string a = shared + random.text(random.next(3));
    const std::string b =
        round % 4 == 0 ? fold_case(a) + std::string(random.next(3), ' ') : shared + random.text(random.next(3));
    EXPECT_EQ(sign(compare_jet(a, b)), sign(compare_folded(without_trailing_blanks(a), without_trailing_blanks(b))))
        << testing::PrintToString(a) << " | " << testing::PrintToString(b);
  }
}

// Evaluates one expression with no table.
class Functions : public testing::Test {
 protected:
  FieldValue eval(const std::string& expression) {
    ResultSet result = engine_.execute("SELECT " + expression);
    return result.rows.at(0).at(0);
  }
  std::string error(const std::string& expression) {
    try {
      engine_.execute("SELECT " + expression);
    } catch (const QueryError& e) {
      return e.what();
    }
    return "no error";
  }
  QueryEngine engine_{std::make_shared<MemorySource>()};
};

DateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return from_civil({y, mo, d, h, mi, s}); }

TEST_F(Functions, DateArithmeticFollowsTheCalendar) {
  EXPECT_EQ(eval("DateAdd('yyyy', 1, #2/29/2024#)"), FieldValue(at(2025, 2, 28)));
  EXPECT_EQ(eval("DateAdd('q', -1, #5/31/2023#)"), FieldValue(at(2023, 2, 28)));
  EXPECT_EQ(eval("DateAdd('h', 12, #8/17/2023 14:00:00#)"), FieldValue(at(2023, 8, 18, 2, 0, 0)));
  EXPECT_EQ(eval("DateAdd('ww', 2, #8/17/2023#)"), FieldValue(at(2023, 8, 31)));
  EXPECT_EQ(eval("DateSerial(2023, 0, 1)"), FieldValue(at(2022, 12, 1)));
  EXPECT_EQ(eval("DateSerial(23, 2, 29)"), FieldValue(at(2023, 3, 1)));
  EXPECT_EQ(eval("DateSerial(2024, 3, 0)"), FieldValue(at(2024, 2, 29)));
  // DateDiff counts the boundaries crossed, not whole periods elapsed.
  EXPECT_EQ(eval("DateDiff('m', #1/31/2023#, #2/1/2023#)"), FieldValue(int64_t{1}));
  EXPECT_EQ(eval("DateDiff('yyyy', #1/1/2023#, #12/31/2023#)"), FieldValue(int64_t{0}));
  EXPECT_EQ(eval("DateDiff('d', #8/17/2023 23:59:00#, #8/18/2023 00:01:00#)"), FieldValue(int64_t{1}));
  EXPECT_EQ(eval("DateDiff('h', #8/17/2023 10:59:00#, #8/17/2023 11:00:00#)"), FieldValue(int64_t{1}));
  EXPECT_EQ(eval("DateDiff('d', #8/18/2023#, #8/17/2023#)"), FieldValue(int64_t{-1}));
  EXPECT_EQ(eval("DateDiff('ww', #8/19/2023#, #8/20/2023#)"), FieldValue(int64_t{1}));  // Saturday to Sunday
  EXPECT_EQ(eval("DatePart('q', #8/17/2023#) & DatePart('w', #8/17/2023#) & DatePart('y', #2/1/2023#)"),
            FieldValue("3532"));
  EXPECT_EQ(eval("Weekday(#8/20/2023#)"), FieldValue(int64_t{1}));
  EXPECT_EQ(eval("CStr(#12/29/1899 06:00:00#)"), FieldValue("29/12/1899 06:00:00"));
  EXPECT_THAT(error("DateAdd('fortnight', 1, #1/1/2023#)"), testing::HasSubstr("unknown date interval"));
}

TEST_F(Functions, NumbersRoundAsVbaDoes) {
  EXPECT_EQ(eval("CInt(0.5) & CInt(1.5) & CInt(2.5) & CInt(-2.5)"), FieldValue("022-2"));  // to even
  EXPECT_EQ(eval("CLng('  42 ')"), FieldValue(int64_t{42}));
  EXPECT_EQ(eval("CCur(1.23456)"), FieldValue(Currency{12346}));
  EXPECT_EQ(eval("CCur('0.00005')"), FieldValue(Currency{0}));  // half to even at the fourth decimal
  EXPECT_EQ(eval("Round(-2.5) & ' ' & Round(0.125, 2)"), FieldValue("-2 0.12"));
  EXPECT_EQ(eval("Int(-0.5) & ' ' & Fix(-0.5)"), FieldValue("-1 0"));
  EXPECT_EQ(eval("-7 Mod 3 & ' ' & -7 \\ 2"), FieldValue("-1 -3"));
  EXPECT_EQ(eval("Val('1 2 3') & ' ' & Val('abc') & ' ' & Val('-1.5e2x')"), FieldValue("123 0 -150"));
  EXPECT_EQ(eval("Str(-3) & '|' & Str(3.5)"), FieldValue("-3| 3.5"));
  EXPECT_EQ(eval("CBool('false') & CBool(-1) & CBool(0)"), FieldValue("FalseTrueFalse"));
  EXPECT_EQ(eval("CDbl('1.5') * 2"), FieldValue(3.0));
  EXPECT_EQ(eval("CSng(1.1)"), FieldValue(static_cast<double>(1.1f)));
  EXPECT_EQ(eval("CStr(CSng(1.1))"), FieldValue("1.1"));
  EXPECT_THAT(error("CLng(3000000000)"), testing::HasSubstr("overflow"));
  EXPECT_THAT(error("CDbl('12abc')"), testing::HasSubstr("not a number"));
  EXPECT_THAT(error("5 \\ 0"), testing::HasSubstr("division by zero"));
  EXPECT_THAT(error("5 Mod 0"), testing::HasSubstr("division by zero"));
}

TEST_F(Functions, TextFunctionsCountCharactersNotBytes) {
  EXPECT_EQ(eval("Len('Müller')"), FieldValue(int64_t{6}));
  EXPECT_EQ(eval("Right('Müller', 5) & Mid('Müller', 2, 1)"), FieldValue("üllerü"));
  EXPECT_EQ(eval("Left('ab', 5) & Right('ab', 0) & Mid('ab', 5)"), FieldValue("ab"));
  EXPECT_EQ(eval("InStr('Müller', 'L') & InStr('Müller', 'Ü') & InStr(2, 'abab', 'a')"), FieldValue("323"));
  EXPECT_EQ(eval("InStr(1, 'abc', 'B', 0)"), FieldValue(int64_t{0}));  // binary compare
  EXPECT_EQ(eval("Replace('a-b-c', '-', '')"), FieldValue("abc"));
  EXPECT_EQ(eval("Trim(Space(3) & 'x')"), FieldValue("x"));
  EXPECT_EQ(eval("UCase('Söhne')"), FieldValue("SÖHNE"));
  EXPECT_EQ(eval("Asc('A') & Chr(66)"), FieldValue("65B"));
  EXPECT_TRUE(eval("Left(Null, 2)").is_null());
  EXPECT_TRUE(eval("Null & Null").is_null());
  EXPECT_EQ(eval("Nz(Null)"), FieldValue(""));
  EXPECT_EQ(eval("Nz(Null, 5) + 1"), FieldValue(6.0));
  EXPECT_TRUE(eval("Format(Null, 'dd/mm/yyyy')").is_null());
  EXPECT_THAT(error("Mid('abc', 0)"), testing::HasSubstr("Mid"));
  EXPECT_THAT(error("Format(1, 'Currency')"), testing::HasSubstr("currency symbol"));
}

TEST_F(Functions, IIfEvaluatesOnlyTheChosenBranch) {
  EXPECT_EQ(eval("IIf(1 = 1, 'yes', 1 / 0)"), FieldValue("yes"));
  EXPECT_EQ(eval("IIf(Null, 1, 2)"), FieldValue(int64_t{2}));  // Null is not true
  EXPECT_TRUE(eval("IIf(1 = 2, 1, Null)").is_null());
}

}  // namespace
}  // namespace halvaro::sql
