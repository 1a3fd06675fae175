// Index keys: ours against the keys Access itself wrote, the orders they must give,
// and B-trees over every indexable type kept right through thousands of appends.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "jet/writer/checker.h"
#include "sql/create_script.h"
#include "jet/writer/database_writer.h"
#include "jet/indexes/index_key.h"
#include "jet/base/utf16_text.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

// The checker recomputes every entry of every index from its row: on files Access
// wrote, this compares our key encoding (numbers, dates, text in the General sort
// order with accents, case, unprintable and non-Latin characters) with Access's.
TEST(IndexKeys, MatchTheKeysAccessWrote) {
  HALVARO_REQUIRE_FIXTURE(root, "access");
  size_t entries = 0;
  for (const char* version : {"V2000", "V2003"}) {
    for (const auto& file : std::filesystem::directory_iterator(root / version)) {
      auto report = check_database(*Database::open(file.path()));
      for (const auto& p : report.problems) ADD_FAILURE() << file.path().filename() << ": " << p;
      entries += report.index_entries;
    }
  }
  EXPECT_GT(entries, 1000u);
}

KeyBytes key(ColumnType type, const FieldValue& v, bool ascending = true) {
  KeyBytes k;
  append_key_part(k, type, v, ascending);
  return k;
}

int sign(int x) { return (x > 0) - (x < 0); }
int compare(const KeyBytes& a, const KeyBytes& b) {
  const size_t n = std::min(a.size(), b.size());
  int c = n ? std::memcmp(a.data(), b.data(), n) : 0;
  return c ? sign(c) : sign(static_cast<int>(a.size()) - static_cast<int>(b.size()));
}

// Byte order of keys must be value order (reversed when descending), nulls first.
TEST(IndexKeys, NumbersAndDatesSortAsValuesInBothDirections) {
  std::mt19937_64 random(5);
  struct Case {
    ColumnType type;
    std::function<FieldValue(double)> make;
  };
  const Case cases[] = {
      {ColumnType::Byte, [](double x) { return FieldValue(static_cast<int64_t>(std::fabs(x)) % 256); }},
      {ColumnType::Integer, [](double x) { return FieldValue(static_cast<int64_t>(x) % 32768); }},
      {ColumnType::Long, [](double x) { return FieldValue(static_cast<int64_t>(x * 1000)); }},
      {ColumnType::Currency, [](double x) { return FieldValue(Currency{static_cast<int64_t>(x * 10000)}); }},
      {ColumnType::Single, [](double x) { return FieldValue(static_cast<double>(static_cast<float>(x))); }},
      {ColumnType::Double, [](double x) { return FieldValue(x); }},
      {ColumnType::DateTime, [](double x) { return FieldValue(DateTime{x}); }},
  };
  std::uniform_real_distribution<double> value(-1e6, 1e6);
  for (const Case& c : cases) {
    for (int i = 0; i < 2000; ++i) {
      const FieldValue a = c.make(value(random) / (i % 3 ? 1 : 1e5)), b = c.make(value(random));
      auto number = [](const FieldValue& v) {
        if (v.is<int64_t>()) return static_cast<double>(v.as<int64_t>());
        if (v.is<Currency>()) return static_cast<double>(v.as<Currency>().scaled);
        if (v.is<DateTime>()) return v.as<DateTime>().days;
        return v.as<double>();
      };
      const int expected = sign((number(a) > number(b)) - (number(a) < number(b)));
      ASSERT_EQ(compare(key(c.type, a), key(c.type, b)), expected) << static_cast<int>(c.type);
      ASSERT_EQ(compare(key(c.type, a, false), key(c.type, b, false)), -expected) << static_cast<int>(c.type);
    }
    EXPECT_LT(compare(key(c.type, FieldValue()), key(c.type, c.make(-1e6))), 0) << "null first";
    EXPECT_GT(compare(key(c.type, FieldValue(), false), key(c.type, c.make(1e6), false)), 0) << "null last";
  }
  EXPECT_LT(compare(key(ColumnType::Boolean, FieldValue(true)), key(ColumnType::Boolean, FieldValue(false))), 0);
}

TEST(IndexKeys, TextFollowsTheGeneralSortOrder) {
  auto text = [](const char* s, bool ascending = true) { return key(ColumnType::Text, FieldValue(s), ascending); };
  // Accents only break ties; hyphens are weighed after everything else; trailing
  // blanks do not count; digits come before letters.
  EXPECT_LT(compare(text("apple"), text("banana")), 0);
  EXPECT_LT(compare(text("muller"), text("m\u00FCller")), 0);
  EXPECT_LT(compare(text("m\u00FCller"), text("mullers")), 0);
  EXPECT_LT(compare(text("a1"), text("a-1")), 0);
  EXPECT_LT(compare(text("a-1"), text("a2")), 0);
  EXPECT_EQ(text("abc  "), text("abc"));
  EXPECT_GT(compare(text("apple", false), text("banana", false)), 0);
  EXPECT_LT(compare(text("9"), text("a")), 0);
  // Case is not weighed at all, and a ligature sorts as its two letters.
  EXPECT_EQ(text("CAF\u00C9"), text("caf\u00E9"));
  EXPECT_EQ(text("Stra\u00DFe"), text("strasse"));
  EXPECT_LT(compare(text("caf\u00E9"), text("cafe1")), 0);
}

// Texts in any script are keyed (the sort-order fixture's test checks each
// character); U+0000, the one unit whose place in the order is not known, gets no
// guessed key: the row is refused as a value that cannot be stored, naming the index
// and the character, and the file stays as it was.
TEST(IndexKeys, OnlyACharacterOfUnknownOrderIsRefusedNotGuessed) {
  EXPECT_NO_THROW(key(ColumnType::Text, FieldValue("\u06A9\u0631\u0627\u0686\u06CC \u03A3\u03C9 \u4E2D \U0001F600")));
  EXPECT_THROW(key(ColumnType::Text, FieldValue(std::string("ab\0c", 4))), ValueError);

  // A partner number in the key of the 5.1 partner table.
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  const auto file = dir.copy_in(fixture);
  auto original = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto partner = [](const DatabaseWriter& w, const TableDef& t, const std::string& number) {
    auto row = w.new_row(t);
    row[t.find_column("STRegNo")->position] = FieldValue("0301234500017");
    row[t.find_column("STRegNoSupplier")->position] = FieldValue(number);
    row[t.find_column("SupplierRBuyer")->position] = FieldValue("B");
    return row;
  };
  std::string before;
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("tblSupplierBuyer");
    w->append(t, partner(*w, t, "ab\u0628c \u0395\u03BB\u03BB\u03AC\u03B4\u03B1"));
    w->close();
  }
  EXPECT_TRUE(check_database(*Database::open(file)).ok());
  before = original();
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("tblSupplierBuyer");
    try {
      w->append(t, partner(*w, t, std::string("ab\0c", 4)));
      ADD_FAILURE() << "the row was taken";
    } catch (const ValueError& e) {
      EXPECT_NE(std::string(e.what()).find("U+0000"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("index"), std::string::npos) << e.what();
    }
    w->close();
  }
  EXPECT_EQ(original(), before);
}

// A text keyed again (the next row's, or the same row's in another index) takes its
// part from the last one; whatever the sequence, the parts are those append_key_part
// makes, and a text that cannot be keyed is refused each time, never remembered.
TEST(IndexKeys, RepeatedTextsTakeTheirPartsFromTheLastOne) {
  const std::vector<std::pair<FieldValue, bool>> sequence = {
      {FieldValue("0301234500017"), true},  {FieldValue("0301234500017"), true},
      {FieldValue("0301234500017"), false}, {FieldValue("0301234500017"), true},
      {FieldValue{}, true},                 {FieldValue("0301234500017"), true},
      {FieldValue("caf\u00E9"), true},      {FieldValue("CAFE"), true},
      {FieldValue("caf\u00E9"), true},      {FieldValue(std::string(300, 'x') + "a"), true},
      {FieldValue(std::string(300, 'x') + "b"), true}};
  TextKeyParts parts;
  for (size_t column : {size_t{0}, size_t{3}}) {
    for (const auto& [value, ascending] : sequence) {
      KeyBytes expected{0x42}, got{0x42};
      append_key_part(expected, ColumnType::Text, value, ascending);
      parts.append(got, ColumnType::Text, column, value, ascending);
      EXPECT_EQ(got, expected) << (value.is_null() ? std::string("Null") : value.as<std::string>().substr(0, 20))
                               << (ascending ? " ascending" : " descending");
    }
  }
  // Other kinds are keyed as always, and leave the text's part alone.
  KeyBytes number, expected_number;
  parts.append(number, ColumnType::Long, 3, FieldValue(int64_t{7}), true);
  append_key_part(expected_number, ColumnType::Long, FieldValue(int64_t{7}), true);
  EXPECT_EQ(number, expected_number);

  const FieldValue unknown(std::string("ab\0c", 4));
  for (int i = 0; i < 2; ++i) {
    KeyBytes key;
    EXPECT_THROW(parts.append(key, ColumnType::Text, 1, unknown, true), ValueError);
  }
}

// A table indexed on every indexable type, some columns descending, filled with
// random values (nulls, negatives, non-ASCII text) until its trees are several
// levels deep: the checker must find every tree and entry right.
TEST(IndexKeys, TreesOfEveryTypeStayRightThroughThousandsOfAppends) {
  TempDir dir;
  const auto file = dir.path() / "keys.mdb";
  const auto script = dir.path() / "keys.sql";
  std::ofstream(script) << "CREATE TABLE K (Id COUNTER PRIMARY KEY, B BYTE, I SHORT, L LONG, C CURRENCY,"
                           " S SINGLE, D DOUBLE, T DATETIME, Y YESNO, G GUID, Name TEXT(60), Note MEMO);\n"
                           "CREATE INDEX ByByte ON K (B DESC);\nCREATE INDEX ByShort ON K (I);\n"
                           "CREATE INDEX ByLong ON K (L DESC, Name);\nCREATE INDEX ByMoney ON K (C);\n"
                           "CREATE INDEX BySingle ON K (S DESC);\nCREATE INDEX ByDouble ON K (D);\n"
                           "CREATE INDEX ByDate ON K (T DESC);\nCREATE INDEX ByFlag ON K (Y, T);\n"
                           "CREATE UNIQUE INDEX ByGuid ON K (G);\nCREATE INDEX ByName ON K (Name DESC, I);\n";
  create_database(file, script);
  const char* names[] = {"Müller & Söhne Trading Co.", "muller", "ÅSA", "Мир", "Zoë", "O'Brien",
                         "", " ", "Straße ½", "abc\tdef", "¿Æsir?", "CAFÉ", "café"};
  std::mt19937_64 random(11);
  auto w = DatabaseWriter::open(file);
  const TableDef& t = w->table("K");
  for (int n = 0; n < 6000; ++n) {
    auto row = w->new_row(t);
    auto maybe = [&](FieldValue v) { return random() % 9 == 0 ? FieldValue() : v; };
    row[1] = maybe(FieldValue(static_cast<int64_t>(random() % 256)));
    row[2] = maybe(FieldValue(static_cast<int64_t>(random() % 65536) - 32768));
    row[3] = maybe(FieldValue(static_cast<int64_t>(static_cast<int32_t>(random()))));
    row[4] = maybe(FieldValue(Currency{static_cast<int64_t>(random() % 2000000000) - 1000000000}));
    row[5] = maybe(FieldValue(static_cast<double>(static_cast<float>(static_cast<int64_t>(random() % 20001) - 10000) / 7.0f)));
    row[6] = maybe(FieldValue((static_cast<double>(random() % 2000001) - 1e6) / 3.0));
    row[7] = maybe(FieldValue(DateTime{static_cast<double>(random() % 100000) / 24.0 - 1000.0}));
    row[8] = FieldValue(random() % 2 == 0);
    Guid g;
    for (auto& b : g.bytes) b = static_cast<uint8_t>(random());
    row[9] = FieldValue(g);
    row[10] = maybe(FieldValue(std::string(names[random() % std::size(names)]) + std::to_string(random() % 500)));
    row[11] = maybe(FieldValue(std::string(random() % 3 == 0 ? 5000 : 20, 'm')));
    w->append(t, std::move(row));
  }
  w->close();
  auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << p;
  EXPECT_EQ(report.rows, 6000u);
  EXPECT_GT(report.index_entries, 6000u * 10);
}

}  // namespace
}  // namespace halvaro::jet
