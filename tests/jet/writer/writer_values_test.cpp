// Values on their way in: column defaults, long values of every size, and usage maps
// that outgrow their inline form.

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <fstream>

#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "jet/pages/data_page.h"
#include "jet/writer/database_writer.h"
#include "jet/writer/default_value.h"
#include "jet/pages/page_store.h"
#include "jet/pages/usage_map.h"
#include "jet/pages/usage_map_writer.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

TEST(WriterValues, DefaultValuesBecomeValuesOfTheColumnsKind) {
  EXPECT_EQ(evaluate_default("\"NIL\"", ColumnType::Text), FieldValue("NIL"));
  EXPECT_EQ(evaluate_default("'O''Brien'", ColumnType::Text), FieldValue("O'Brien"));
  EXPECT_EQ(evaluate_default("0", ColumnType::Integer), FieldValue(int64_t{0}));
  EXPECT_EQ(evaluate_default("=-1", ColumnType::Long), FieldValue(int64_t{-1}));
  EXPECT_EQ(evaluate_default("12.5", ColumnType::Currency), FieldValue(Currency{125000}));
  EXPECT_EQ(evaluate_default("0", ColumnType::Double), FieldValue(0.0));
  EXPECT_EQ(evaluate_default("Yes", ColumnType::Boolean), FieldValue(true));
  EXPECT_EQ(evaluate_default("#2024-01-31#", ColumnType::DateTime),
            FieldValue(from_civil({2024, 1, 31, 0, 0, 0})));
  EXPECT_EQ(evaluate_default("#01/31/2024 10:20:30#", ColumnType::DateTime),
            FieldValue(from_civil({2024, 1, 31, 10, 20, 30})));
  // Today's date is a whole day; Now() falls within it.
  const FieldValue today = evaluate_default("Date()", ColumnType::DateTime);
  const FieldValue now = evaluate_default("Now()", ColumnType::DateTime);
  ASSERT_TRUE(today.is<DateTime>() && now.is<DateTime>());
  EXPECT_EQ(today.as<DateTime>().days, std::floor(today.as<DateTime>().days));
  EXPECT_GE(now.as<DateTime>().days, today.as<DateTime>().days);
  EXPECT_LT(now.as<DateTime>().days, today.as<DateTime>().days + 1);
  // What cannot be worked out gives no default rather than a wrong one.
  EXPECT_TRUE(evaluate_default("DLookUp(\"x\",\"y\")", ColumnType::Text).is_null());
  EXPECT_TRUE(evaluate_default("\"abc\"", ColumnType::Long).is_null());
}

std::filesystem::path make_database(const TempDir& dir, const std::string& ddl) {
  const auto file = dir.path() / "t.mdb";
  const auto script = dir.path() / "t.sql";
  std::ofstream(script) << ddl;
  create_database(file, script);
  return file;
}

// Stored plain, a text that begins with U+FEFF would start with the bytes that mark a
// compressed text: it reads back as written, and one that no stored form could give
// back is refused rather than garbled.
TEST(WriterValues, TextsBeginningWithUFEFFReadBackAsWritten) {
  TempDir dir;
  const auto file = make_database(dir, "CREATE TABLE T (Id LONG PRIMARY KEY, Name TEXT(20), Note MEMO);\n");
  const std::vector<std::string> texts{"\uFEFF", "\uFEFFabc", "\uFEFF\u4E2D\u6587x", "\uFEFF\U0001F601"};
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("T");
    for (size_t i = 0; i < texts.size(); ++i)
      w->append(t, {FieldValue(static_cast<int64_t>(i)), FieldValue(texts[i]), FieldValue(texts[i])});
    try {
      w->append(t, {FieldValue(int64_t{99}), FieldValue("\uFEFF\u0100"), FieldValue()});
      ADD_FAILURE() << "the row was taken";
    } catch (const ValueError& e) {
      EXPECT_NE(std::string(e.what()).find("U+0100"), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("Name"), std::string::npos) << e.what();
    }
    w->close();
  }
  auto db = Database::open(file);
  size_t rows = 0;
  db->scan(db->table("T"), [&](std::span<const FieldValue> v) {
    const auto i = static_cast<size_t>(v[0].as<int64_t>());
    EXPECT_EQ(v[1], FieldValue(texts.at(i))) << i;
    EXPECT_EQ(v[2], FieldValue(texts.at(i))) << i;
    return ++rows, true;
  });
  EXPECT_EQ(rows, texts.size());
}

// Inline in the row, on a page of its own, or chained over pages: each reads back
// as written, through our reader and through mdbtools.
TEST(WriterValues, LongValuesOfEverySizeReadBack) {
  TempDir dir;
  const auto file = make_database(dir, "CREATE TABLE M (Id COUNTER PRIMARY KEY, Note MEMO, Pic OLEOBJECT);\n");
  std::vector<std::string> notes;
  std::vector<Binary> pictures;
  for (size_t size : {0, 1, 40, 64, 65, 2000, 4076, 4077, 9000, 70000}) {
    std::string note;
    for (size_t i = 0; i < size; ++i) note += i % 50 == 49 ? "ü" : std::string(1, static_cast<char>('a' + i % 26));
    notes.push_back(note);
    Binary picture(size);
    for (size_t i = 0; i < size; ++i) picture[i] = static_cast<uint8_t>(i * 7);
    pictures.push_back(picture);
  }
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("M");
    for (size_t i = 0; i < notes.size(); ++i) w->append(t, {FieldValue(), FieldValue(notes[i]), FieldValue(pictures[i])});
    w->close();
  }
  auto db = Database::open(file);
  size_t i = 0;
  db->scan(db->table("M"), [&](std::span<const FieldValue> v) {
    EXPECT_EQ(v[1], FieldValue(notes[i])) << "note " << i;
    EXPECT_EQ(v[2], FieldValue(pictures[i])) << "picture " << i;
    ++i;
    return true;
  });
  EXPECT_EQ(i, notes.size());
  HALVARO_REQUIRE_MDBTOOLS();
  const auto exported = test::run_program("mdb-export", {file.string(), "M"});
  EXPECT_EQ(exported.status, 0);
  EXPECT_GT(exported.out.size(), 70000u * 2);
}

// A map row of new-empty's size (64 bytes of bits: 512 pages from its start) asked to
// record pages further and further away: it moves its start while the pages
// fit, then turns into a reference map; the reader must see the same pages throughout.
TEST(WriterValues, UsageMapsMoveAndTurnIntoReferenceMaps) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  // tblClaimantInfo's free-space map: inline and empty, the table having no rows.
  const uint32_t free_map = Database::open(file)->table("tblClaimantInfo").free_space_pages;
  auto store = PageStore::open(file);
  while (store->page_count() < 1300) store->allocate();
  std::vector<uint32_t> expected;
  UsageMapWriter map(*store, free_map, [&] { return store->allocate(); });
  auto reader_view = [&] {
    const auto at = RowLocation::unpack(free_map);
    return usage_map_pages(raw_row(*store, at, kJet4Layout, "usage map"), *store);
  };
  for (uint32_t page : {600u, 605u, 1000u}) {  // beyond the reach from page 0: the start moves
    map.add(page);
    expected.push_back(page);
    EXPECT_EQ(reader_view(), expected);
  }
  EXPECT_EQ(raw_row(*store, RowLocation::unpack(free_map), kJet4Layout, "map")[0], 0) << "still inline";
  map.add(1200);  // 600 to 1200 is too far for 512 bits: a reference map
  expected.push_back(1200);
  EXPECT_EQ(raw_row(*store, RowLocation::unpack(free_map), kJet4Layout, "map")[0], 1);
  EXPECT_EQ(reader_view(), expected);
  map.remove(605);
  expected.erase(expected.begin() + 1);
  EXPECT_EQ(map.pages(), expected);
  EXPECT_TRUE(map.contains(1200));
  EXPECT_FALSE(map.contains(605));
}

}  // namespace
}  // namespace halvaro::jet
