// Text keys of every character against the sort-order fixture, whose index entries
// another Jet implementation wrote (with sort tables taken from Access): one row per
// character from U+0001 to U+FFFF and a sample beyond, each keyed alone, between
// "a" and "b" (descending) and twice after "A".

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <map>

#include "jet/base/utf16_text.h"
#include "jet/indexes/index_key.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "sql/create_script.h"
#include "tests/support/fixtures.h"
#include "tools/sort_fixture.h"

namespace halvaro::jet {
namespace {

using test::TempDir;
using tools::FixtureRow;

std::string utf8_of(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | cp >> 6);
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | cp >> 12);
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | cp >> 18);
      out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

KeyBytes text_key(const std::u16string& text, bool ascending) {
  KeyBytes key;
  append_key_part(key, ColumnType::Text, FieldValue(utf8_of(text)), ascending);
  return key;
}

std::string hex(const KeyBytes& bytes) {
  std::string s;
  char b[3];
  for (uint8_t x : bytes) {
    std::snprintf(b, sizeof b, "%02X", x);
    s += b;
  }
  return s;
}

// Compares each row's three entries with `keys_of(row)`; reports the first few
// differences by code point.
template <class KeysOf>
size_t count_differences(const std::vector<FixtureRow>& rows, const KeysOf& keys_of) {
  size_t differences = 0;
  for (const FixtureRow& row : rows) {
    const std::array<KeyBytes, 3> ours = keys_of(row);
    const std::array<const KeyBytes*, 3> expected{&row.alone_key, &row.between_key, &row.twice_key};
    const char* names[] = {"alone", "between", "twice"};
    for (size_t i = 0; i < 3; ++i) {
      if (*expected[i] == ours[i]) continue;
      if (++differences <= 10)
        ADD_FAILURE() << "U+" << std::hex << std::uppercase << row.code << " " << names[i] << ": fixture "
                      << hex(*expected[i]) << ", ours " << hex(ours[i]);
    }
  }
  return differences;
}

std::vector<FixtureRow> fixture_rows(const std::filesystem::path& file) {
  auto rows = tools::read_sort_fixture(file);
  EXPECT_EQ(rows.size(), 63538u);
  return rows;
}

// Every entry of the fixture's three indexes, byte for byte, from the text alone.
TEST(GeneralSortOrder, EveryEntryOfTheSortOrderFixtureIsTheKeyWeWrite) {
  HALVARO_REQUIRE_FIXTURE(fixture, "sort-order/general.mdb");
  const auto rows = fixture_rows(fixture);
  size_t supplementary = 0;
  for (const FixtureRow& row : rows) {
    supplementary += row.code > 0xFFFF;
    ASSERT_FALSE(row.alone_key.empty() || row.between_key.empty() || row.twice_key.empty()) << row.code;
  }
  EXPECT_GT(supplementary, 40u);
  EXPECT_EQ(count_differences(rows,
                              [](const FixtureRow& row) {
                                return std::array{text_key(row.alone, true), text_key(row.between, false),
                                                  text_key(row.twice, true)};
                              }),
            0u);
}

// The stored texts read back as the characters their Code names. U+FEFF alone is
// the exception: its two bytes (FF FE) are the mark that opens a compressed text,
// and every reader takes them so.
TEST(GeneralSortOrder, FixtureTextsReadBackAsTheirCodePoints) {
  HALVARO_REQUIRE_FIXTURE(fixture, "sort-order/general.mdb");
  size_t wrong = 0;
  for (const FixtureRow& row : fixture_rows(fixture)) {
    if (row.code == 0xFEFF) continue;
    const bool ok = row.stored_alone == utf8_of(row.alone) && row.stored_between == utf8_of(row.between) &&
                    row.stored_twice == utf8_of(row.twice);
    if (!ok && ++wrong <= 5) ADD_FAILURE() << "U+" << std::hex << row.code << " reads back otherwise";
  }
  EXPECT_EQ(wrong, 0u);
}

// Our writer, given the fixture's texts, puts the very same entries in a fresh
// table's indexes (and its trees stay sound); a unit of a surrogate pair or a
// character without a sort position of its own is no reason to refuse a row. Every
// text reads back as written, U+FEFF alone too (stored compressed, so that its
// bytes are not taken for the compression mark).
TEST(GeneralSortOrder, AppendingTheFixtureTextsGivesTheFixtureEntries) {
  HALVARO_REQUIRE_FIXTURE(fixture, "sort-order/general.mdb");
  const auto rows = fixture_rows(fixture);
  TempDir dir;
  const auto file = dir.path() / "characters.mdb";
  std::ofstream(dir.path() / "characters.sql")
      << "CREATE TABLE Characters (ID LONG PRIMARY KEY, Code LONG, Alone TEXT(10), Between TEXT(10),"
         " Twice TEXT(10));\n"
         "CREATE INDEX AloneIdx ON Characters (Alone);\n"
         "CREATE INDEX BetweenIdx ON Characters (Between DESC);\n"
         "CREATE INDEX TwiceIdx ON Characters (Twice, Code);\n";
  sql::script::create_database(file, dir.path() / "characters.sql");
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("Characters");
    int64_t id = 0;
    for (const FixtureRow& row : rows) {
      auto values = w->new_row(t);
      values[0] = FieldValue(++id);
      values[1] = FieldValue(static_cast<int64_t>(row.code));
      values[2] = FieldValue(utf8_of(row.alone));
      values[3] = FieldValue(utf8_of(row.between));
      values[4] = FieldValue(utf8_of(row.twice));
      w->append(t, std::move(values));
    }
    w->close();
  }
  std::map<uint32_t, FixtureRow> ours;
  for (FixtureRow& row : tools::read_sort_fixture(file)) ours.emplace(row.code, std::move(row));
  ASSERT_EQ(ours.size(), rows.size());
  EXPECT_EQ(count_differences(rows,
                              [&](const FixtureRow& row) {
                                const FixtureRow& mine = ours.at(row.code);
                                return std::array{mine.alone_key, mine.between_key, mine.twice_key};
                              }),
            0u);
  size_t misread = 0;
  for (const auto& [code, row] : ours)
    if (row.stored_alone != utf8_of(row.alone) || row.stored_between != utf8_of(row.between) ||
        row.stored_twice != utf8_of(row.twice))
      if (++misread <= 5) ADD_FAILURE() << "U+" << std::hex << code << " reads back otherwise";
  EXPECT_EQ(misread, 0u);
  auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << p;
  EXPECT_EQ(report.index_entries, 4 * rows.size());
}

}  // namespace
}  // namespace halvaro::jet
