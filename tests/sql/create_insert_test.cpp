// INSERT statements of create scripts: rows stored through the writer, read back by
// our reader and by mdbtools, every index checked; refused rows leave no file.

#include <gtest/gtest.h>

#include <fstream>

#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "jet/writer/insert_values.h"
#include "tests/sql/print_value.h"
#include "tests/support/fixtures.h"
#include "tests/support/output_text.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

std::filesystem::path create(const TempDir& dir, const std::string& sql) {
  std::ofstream(dir.path() / "script.sql") << sql;
  auto out = dir.path() / "rows.mdb";
  create_database(out, dir.path() / "script.sql");
  return out;
}

const char* kTable =
    "CREATE TABLE tblInvoice (InvoiceNo TEXT(20) NOT NULL, Seq COUNTER, Party TEXT(50), Issued DATETIME,\n"
    "  Total CURRENCY, Rate DOUBLE, Paid BIT, Lines SHORT, Exact DECIMAL(12,3), Notes MEMO,\n"
    "  CONSTRAINT PrimaryKey PRIMARY KEY (InvoiceNo));\n"
    "CREATE INDEX ByParty ON tblInvoice (Party DESC, Issued);\n";

TEST(CreateInsert, RowsArriveWithEveryLiteralFormAndPassTheCheck) {
  TempDir dir;
  auto file = create(dir, std::string(kTable) +
                              "INSERT INTO tblInvoice (InvoiceNo, Party, Issued, Total, Rate, Paid, Lines, Exact, Notes)\n"
                              "  VALUES ('INV-O''7', 'Müller & Söhne', #2023-08-17 14:35:20#, 15432.1275, 0.18, True, 3,"
                              " -2.5, 'first');\n"
                              "INSERT INTO tblInvoice VALUES ('A-2', NULL, \"Dyes \"\"R\"\" Us\", #01/02/2024#, -7, 1, False,"
                              " 0, 12, NULL);\n"
                              "INSERT INTO tblInvoice (InvoiceNo) VALUES ('Мир-3');\n");
  auto db = Database::open(file);
  const TableDef& t = db->table("tblInvoice");
  EXPECT_EQ(t.row_count, 3u);
  std::vector<std::vector<FieldValue>> rows;
  db->scan(t, [&](std::span<const FieldValue> v) {
    rows.emplace_back(v.begin(), v.end());
    return true;
  });
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], FieldValue("INV-O'7"));
  EXPECT_EQ(rows[0][1], FieldValue(int64_t{1}));  // autonumbers count from 1
  EXPECT_EQ(rows[1][1], FieldValue(int64_t{2}));
  EXPECT_EQ(rows[0][2], FieldValue("Müller & Söhne"));
  EXPECT_EQ(to_iso8601(rows[0][3].as<DateTime>()), "2023-08-17 14:35:20");
  EXPECT_EQ(rows[0][4], FieldValue(Currency{154321275}));
  EXPECT_EQ(rows[0][6], FieldValue(true));
  EXPECT_EQ(to_string(rows[0][8].as<Decimal>()), "-2.500");
  EXPECT_EQ(rows[1][2], FieldValue("Dyes \"R\" Us"));
  EXPECT_EQ(to_iso8601(rows[1][3].as<DateTime>()), "2024-01-02 00:00:00");
  EXPECT_EQ(rows[1][4], FieldValue(Currency{-70000}));
  EXPECT_EQ(rows[2][0], FieldValue("Мир-3"));
  EXPECT_TRUE(rows[2][2].is_null());

  auto check = test::run_halvaro({"check", file.string()}, test::ErrorOutput::merged);
  EXPECT_EQ(check.status, 0) << check.out;
  HALVARO_REQUIRE_MDBTOOLS();
  auto exported = test::cut_fields(test::run_program("mdb-export", {"-H", file.string(), "tblInvoice"}).out, {1, 2, 5});
  EXPECT_EQ(exported, "\"INV-O'7\",1,15432.1275\n\"A-2\",2,-7.0000\n\"Мир-3\",3,\n");
}

TEST(CreateInsert, RefusedRowsNameTheLineAndLeaveNoFile) {
  const std::pair<std::string, std::string> cases[] = {
      {"INSERT INTO tblInvoice (InvoiceNo) VALUES ('X');\nINSERT INTO tblInvoice (InvoiceNo) VALUES ('x');",
       "line 6: "},  // duplicate primary key, case-blind
      {"INSERT INTO tblInvoice (Party) VALUES ('nobody');", "line 5: "},  // required InvoiceNo
      {"INSERT INTO tblInvoice (InvoiceNo, Party) VALUES ('1', '" + std::string(51, 'p') + "');", "line 5: "},
      {"INSERT INTO tblInvoice (InvoiceNo, Lines) VALUES ('1', 2.5);", "a whole number was expected"},
      {"INSERT INTO tblInvoice (InvoiceNo, Total) VALUES ('1', 0.00001);", "more than 4 decimals"},
      {"INSERT INTO tblInvoice (InvoiceNo, Issued) VALUES ('1', '2024-01-01');", "a date was expected"},
      {"INSERT INTO tblInvoice (InvoiceNo, Nope) VALUES ('1', 1);", "has no column Nope"},
      {"INSERT INTO tblInvoice (InvoiceNo, Party) VALUES ('1');", "1 values for 2 columns"},
      {"INSERT INTO tblNowhere VALUES (1);", "no table named tblNowhere"},
      {"INSERT INTO tblInvoice (InvoiceNo, Issued) VALUES ('1', #2024-13-01#);", "invalid date"},
  };
  for (const auto& [rows, message] : cases) {
    TempDir dir;
    try {
      create(dir, std::string(kTable) + rows);
      ADD_FAILURE() << "accepted: " << rows;
    } catch (const JetError& e) {
      EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << rows << "\n" << e.what();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "rows.mdb")) << rows;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "rows.mdb-journal")) << rows;
  }
}

}  // namespace
}  // namespace halvaro::jet
