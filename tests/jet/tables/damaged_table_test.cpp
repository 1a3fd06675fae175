// Damage made at test time on a copy of a database: the verifying scan reports it as
// an error naming the file and the table, and never hands back a shorter table.
// The databases are built from the example script, so these tests need no fixtures;
// the last test reads every Access-made fixture to show that clean files pass.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "jet/catalog/database.h"
#include "jet/catalog/verify.h"
#include "jet/pages/data_page.h"
#include "jet/tables/table_scan.h"
#include "jet/writer/checker.h"
#include "sql/create_script.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;

constexpr uint32_t kPage = 4096;
constexpr const char* kTable = "tblInvoiceItem";

class DamagedTable : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.path() / "old.mdb";
    sql::script::create_database(file_, std::filesystem::path(HALVARO_SOURCE_DIR) / "examples" / "old-version.sql");
    auto db = Database::open(file_);
    const TableDef& table = db->table(kTable);
    rows_ = table.row_count;
    data_pages_ = table_data_pages(db->pages(), table);
    map_ = RowLocation::unpack(table.owned_pages);
    ASSERT_GT(rows_, 1u);
    ASSERT_FALSE(data_pages_.empty());
  }

  // Overwrites bytes of the file at `offset`.
  void patch(uint64_t offset, const std::string& bytes) {
    std::fstream f(file_, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(static_cast<std::streamoff>(offset));
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  uint16_t u16_at(uint64_t offset) {
    std::ifstream f(file_, std::ios::binary);
    f.seekg(static_cast<std::streamoff>(offset));
    unsigned char b[2] = {};
    f.read(reinterpret_cast<char*>(b), 2);
    return static_cast<uint16_t>(b[0] | b[1] << 8);
  }
  void put_u16(uint64_t offset, uint16_t value) {
    patch(offset, std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)});
  }
  uint64_t slot_offset(uint32_t page, uint16_t row) {
    return uint64_t{page} * kPage + layout_of(Format::Jet4).data_row_table + 2u * row;
  }

  // What reading the table says: every row counted, or the error's text.
  std::string read_table() {
    try {
      auto db = Database::open(file_);
      size_t rows = 0;
      db->scan(db->table(kTable), [&](std::span<const FieldValue>) { return ++rows, true; });
      return std::to_string(rows) + " rows";
    } catch (const JetError& e) {
      return e.what();
    }
  }

  // The error must name the file and the table and say what is wrong; the checker,
  // sharing the scan, must see the same.
  void expect_refused(const std::string& what) {
    const std::string error = read_table();
    EXPECT_NE(error.find(file_.string() + ": table " + kTable + ": "), std::string::npos) << error;
    EXPECT_NE(error.find(what), std::string::npos) << error;
    auto db = Database::open(file_);
    EXPECT_THROW(verify_tables(*db), JetError);
    const CheckReport report = check_database(*db);
    EXPECT_FALSE(report.ok());
  }

  TempDir dir_;
  std::filesystem::path file_;
  uint32_t rows_ = 0;
  std::vector<uint32_t> data_pages_;
  RowLocation map_;
};

TEST_F(DamagedTable, TheCleanCopyReadsWhole) {
  EXPECT_EQ(read_table(), std::to_string(rows_) + " rows");
  EXPECT_NO_THROW(verify_tables(*Database::open(file_)));
}

TEST_F(DamagedTable, AZeroedDataPageIsNamedNotSkipped) {
  patch(uint64_t{data_pages_[0]} * kPage, std::string(kPage, '\0'));
  expect_refused("its usage map lists page " + std::to_string(data_pages_[0]) +
                 ", which is not one of its pages (page type 0x00)");
}

TEST_F(DamagedTable, AZeroedUsageMapLosesEveryRowAndSaysSo) {
  const uint16_t start = u16_at(slot_offset(map_.page, map_.row)) & kRowOffsetMask;
  const uint16_t end = map_.row == 0 ? kPage : u16_at(slot_offset(map_.page, map_.row - 1)) & kRowOffsetMask;
  patch(uint64_t{map_.page} * kPage + start, std::string(end - start, '\0'));
  expect_refused("its definition counts " + std::to_string(rows_) + " rows, but 0 were found");
}

TEST_F(DamagedTable, FlippedRowSlotsAreCaught) {
  const uint64_t slot = slot_offset(data_pages_[0], 1);
  const uint16_t original = u16_at(slot);
  // The deleted flag: one row fewer than the definition counts.
  put_u16(slot, original | kRowDeleted);
  expect_refused("its definition counts " + std::to_string(rows_) + " rows, but " + std::to_string(rows_ - 1));
  // An offset inside the page header: the row's bounds are impossible.
  put_u16(slot, 0x0004);
  expect_refused("row 1 has bad bounds");
}

TEST_F(DamagedTable, ATruncatedFileIsAnErrorWhereverItIsCut) {
  // Cut at the table's last data page, inside its first one, and after three pages.
  for (uint64_t keep : {uint64_t{data_pages_.back()} * kPage, uint64_t{data_pages_[0]} * kPage + 100,
                        uint64_t{3} * kPage}) {
    std::filesystem::resize_file(file_, keep);
    const std::string error = [&]() -> std::string {
      try {
        verify_tables(*Database::open(file_));
        return "(no error)";
      } catch (const JetError& e) {
        return e.what();
      }
    }();
    EXPECT_NE(error.find(file_.string()), std::string::npos) << keep << ": " << error;
  }
}

TEST(CleanFiles, EveryAccessMadeFixtureReadsWithoutComplaint) {
  HALVARO_REQUIRE_FIXTURE(access, "access");
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(access)) {
    if (entry.path().extension() != ".mdb") continue;
    std::unique_ptr<Database> db;
    try {
      db = Database::open(entry.path());
    } catch (const JetError&) {
      continue;  // password-protected and other files the reader refuses on purpose
    }
    ++files;
    EXPECT_NO_THROW(verify_tables(*db)) << entry.path();
  }
  EXPECT_GT(files, 0u);
}

}  // namespace
}  // namespace halvaro::jet
