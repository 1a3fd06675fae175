// Appending rows to copies of the destination databases, read back independently
// with mdbtools' mdb-export.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <random>

#include "jet/checker.h"
#include "jet/database_writer.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::run_command;
using test::TempDir;

std::vector<std::string> export_lines(const std::filesystem::path& file, const std::string& table) {
  auto r = run_command("mdb-export -D '%Y-%m-%d %H:%M:%S' '" + file.string() + "' " + table);
  EXPECT_EQ(r.status, 0) << r.out;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<FieldValue> invoice(const DatabaseWriter& w, const TableDef& t, int n) {
  auto row = w.new_row(t);
  auto set = [&](std::string_view column, FieldValue v) { row.at(t.find_column(column)->position) = std::move(v); };
  set("StRegNo", "0301234500017");
  set("Taxperiod", "202401");
  set("InvoiceType", n % 2 ? "P" : "S");
  set("InvoiceNo", "INV-" + std::to_string(n));
  set("InvoiceDate", "17/08/2023");
  set("Supplier", "0402111100011");
  set("buyer", n == 3 ? "Müller & Söhne Trading Co." : "Buyer " + std::to_string(n));
  set("TotalSalesTax", Currency{int64_t{n} * 12345});
  return row;
}

TEST(WriterAppend, RowsReadBackWithMdbExport) {
  HALVARO_REQUIRE_FIXTURE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& t = w->table("tblInvoiceMtr");
    for (int n = 1; n <= 5; ++n) w->append(t, invoice(*w, t, n));
    size_t seen = 0;
    w->database().scan(t, [&](std::span<const FieldValue>) { return ++seen, true; });
    EXPECT_EQ(seen, 5u) << "reads through the writer see its rows";
    w->close();
  }
  auto lines = export_lines(file, "tblInvoiceMtr");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_NE(lines[3].find("Müller & Söhne Trading Co."), std::string::npos) << lines[3];
  EXPECT_NE(lines[1].find("\"INV-1\""), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("1.2345"), std::string::npos) << lines[1];
}

void expect_clean(const std::filesystem::path& file) {
  auto report = check_database(*Database::open(file));
  for (const auto& p : report.problems) ADD_FAILURE() << p;
}

// Thousands of rows in shuffled key order: leaf and intermediate splits, a table
// outgrowing its inline free-space map, and an autonumber key beside a text index.
TEST(WriterAppend, ThousandsOfRowsKeepEveryIndexAndMapRight) {
  HALVARO_REQUIRE_FIXTURE(fixture, "new-nonempty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  constexpr int kRows = 20000;
  std::vector<int> order(kRows);
  for (int i = 0; i < kRows; ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  {
    auto w = DatabaseWriter::open(file);
    const TableDef& masters = w->table("tblInvoiceMtr");
    const TableDef& details = w->table("tblInvoiceDetail");
    for (int n : order) {
      w->append(masters, invoice(*w, masters, n));
      auto item = w->new_row(details);
      item.at(details.find_column("InvoiceNo")->position) = FieldValue("INV-" + std::to_string(n % 977));
      item.at(details.find_column("StRegNo")->position) = FieldValue("0301234500017");
      item.at(details.find_column("Pct_desc")->position) = FieldValue(std::string(60 + n % 40, 'x'));
      w->append(details, std::move(item));
    }
    w->close();
  }
  expect_clean(file);
  EXPECT_EQ(export_lines(file, "tblInvoiceMtr").size(), kRows + 2u + 1u);  // header + 2 old rows
  auto db = Database::open(file);
  EXPECT_EQ(db->table("tblInvoiceDetail").row_count, kRows + 3u);
  // Autonumbers continue after the 3 rows already there.
  int64_t greatest = 0;
  db->scan(db->table("tblInvoiceDetail"), [&](std::span<const FieldValue> v) {
    greatest = std::max(greatest, v[0].as<int64_t>());
    return true;
  });
  EXPECT_EQ(greatest, kRows + 3);
}

}  // namespace
}  // namespace halvaro::jet
