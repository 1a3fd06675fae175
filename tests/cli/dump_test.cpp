#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

using ::testing::HasSubstr;
using ::testing::UnorderedElementsAre;

// `halvaro dump FILE ARGUMENTS...`, its messages merged into its output.
CommandResult dump(const std::filesystem::path& file, std::vector<std::string> arguments = {}) {
  arguments.insert(arguments.begin(), {"dump", file.string()});
  return run_halvaro(arguments, ErrorOutput::merged);
}

// Splits CSV output into lines of raw fields: quotes are kept, so that a test sees
// exactly how each field was written (null as nothing, empty text as "").
std::vector<std::vector<std::string>> raw_fields(const std::string& csv) {
  std::vector<std::vector<std::string>> lines(1, std::vector<std::string>(1));
  bool in_quotes = false;
  for (char c : csv) {
    if (c == '"') in_quotes = !in_quotes;
    if (!in_quotes && c == ',') {
      lines.back().emplace_back();
    } else if (!in_quotes && c == '\n') {
      lines.emplace_back(1);
    } else {
      lines.back().back() += c;
    }
  }
  if (lines.back().size() == 1 && lines.back()[0].empty()) lines.pop_back();
  return lines;
}

// Rows keyed by the text of one column, as field name -> raw field.
std::map<std::string, std::map<std::string, std::string>> rows_by(const std::string& csv,
                                                                  const std::string& key_column,
                                                                  size_t* row_count = nullptr) {
  auto lines = raw_fields(csv);
  std::map<std::string, std::map<std::string, std::string>> rows;
  if (lines.empty()) return rows;
  const auto& header = lines.front();
  for (size_t i = 1; i < lines.size(); ++i) {
    std::map<std::string, std::string> row;
    for (size_t c = 0; c < header.size() && c < lines[i].size(); ++c) row[header[c]] = lines[i][c];
    rows[row[key_column]] = row;
  }
  if (row_count) *row_count = lines.size() - 1;
  return rows;
}

TEST(Dump, ListsTablesWithRowCountsAndSavedQueries) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  auto result = dump(file);
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_THAT(result.out, HasSubstr("  tblClaimantInfo  2 rows\n"));
  EXPECT_THAT(result.out, HasSubstr("  tblInvoice  30 rows\n"));
  EXPECT_THAT(result.out, HasSubstr("  tblBillOfEntry  6 rows\n"));
  for (const char* view : {"VwPurchaseDebitMtr", "VwPurchaseDebit", "VwSalesCreditMtr",
                           "VwSalesCredit", "vwBillOfentryMtr", "vwbillofentry",
                           "VwShippingBillMtr", "VwShippingBill"})
    EXPECT_THAT(result.out, HasSubstr("  " + std::string(view) + "\n"));
  EXPECT_THAT(result.out, ::testing::Not(HasSubstr("MSys")));
}

TEST(Dump, TextNullsAndEmptyTextInCsv) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  auto claimants = dump(file, {"tblClaimantInfo"});
  ASSERT_EQ(claimants.status, 0) << claimants.out;
  EXPECT_EQ(claimants.out.substr(0, claimants.out.find('\n')),
            "STRegNo,NTN,NicOld,NicNew,ClaimantName,regaddress,BusnAddress,PhBusn,PhReg,Mobile,"
            "Email,Fax,ClaimantClaimType,CollectorateCode,bankcode,AccNo,BankName,BranchAddress,"
            "AccountTitile,AccountType,Remarks");
  auto rows = rows_by(claimants.out, "STRegNo");
  ASSERT_EQ(rows.size(), 2u);
  auto& first = rows["0301234500017"];
  EXPECT_EQ(first["regaddress"], "\"Plot 14-B, SITE Area, Karachi\"");
  EXPECT_EQ(first["BusnAddress"], "\"Plot 14-B, SITE Area, Karachi (کراچی)\"");
  EXPECT_EQ(first["Email"], "");    // null
  EXPECT_EQ(first["Fax"], "\"\"");  // empty text
  auto& second = rows["1203987600025"];
  EXPECT_EQ(second["Fax"], " ");
  EXPECT_EQ(second["Email"], "\"\"");
  EXPECT_EQ(second["BusnAddress"], "دفتر نمبر 3، سیالکوٹ");

  auto partners = rows_by(dump(file, {"tblSupplierBuyer"}).out, "STRegNoSupplier");
  EXPECT_THAT((std::vector<std::string>{partners["0402111100029"]["SupplierName"],
                                        partners["0702444400011"]["SupplierName"],
                                        partners["0602333300026"]["SupplierName"]}),
              UnorderedElementsAre("", "\"\"", " "));
  EXPECT_EQ(partners["0402111100011"]["SupplierName"], "Müller & Söhne Trading Co.");
}

TEST(Dump, DatesCurrencyNumbersAndBooleansInCsv) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  size_t count = 0;
  auto invoices = rows_by(dump(file, {"tblInvoice"}).out, "InvoiceNo", &count);
  EXPECT_EQ(count, 30u);
  auto& late = invoices["TI-0103"];
  EXPECT_EQ(late["InvoiceDate"], "2023-08-17 14:35:20");
  EXPECT_EQ(late["TotalExcludSalTax"], "1246629.7275");
  EXPECT_EQ(late["TotalSED"], "1250.0000");
  EXPECT_EQ(invoices["CN-0219"]["TotalIncludSalTax"], "-1165.0700");
  EXPECT_EQ(invoices["CN-0137"]["TotalSalesTax"], "-73151.9400");
  EXPECT_EQ(invoices["TI-0151"]["InvoiceDate"], "2023-07-18 00:00:00");
  EXPECT_EQ(invoices["INV-O'7"]["TaxPeriod"], "202311");

  auto periods = raw_fields(dump(file, {"tblClaimantTaxPeriod"}).out);
  ASSERT_GT(periods.size(), 1u);
  size_t active = 0;
  while (active < periods[0].size() && periods[0][active] != "ActiveTaxPeriod") ++active;
  ASSERT_LT(active, periods[0].size());
  for (size_t i = 1; i < periods.size(); ++i)
    EXPECT_THAT(periods[i][active], ::testing::AnyOf("0", "1"));
}

// The raw field of `column` in the one row of a table's CSV.
std::string only_row_field(const std::string& csv, const std::string& column) {
  const auto rows = raw_fields(csv);
  if (rows.size() != 2) return "(" + std::to_string(rows.size()) + " lines)";
  const auto at = std::find(rows[0].begin(), rows[0].end(), column);
  if (at == rows[0].end()) return "(no column " + column + ")";
  return rows[1][static_cast<size_t>(at - rows[0].begin())];
}

// An Access-made file with an OLE column: its bytes print as hex digits, unquoted and
// in lower case.
TEST(Dump, BinaryColumnsAsHex) {
  HALVARO_REQUIRE_FIXTURE(file, "access/V2000/test2V2000.mdb");
  auto ours = dump(file, {"MSP_PROJECTS"});
  ASSERT_EQ(ours.status, 0) << ours.out;
  ASSERT_EQ(raw_fields(ours.out).size(), 2u) << ours.out;
  const std::string hex = only_row_field(ours.out, "RESERVED_BINARY_DATA");
  ASSERT_FALSE(hex.empty());
  EXPECT_EQ(hex.size() % 2, 0u) << hex;
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
}

// The same bytes as mdb-export -b hex gives them (quoted and in upper case there).
TEST(Dump, BinaryColumnsLikeMdbExport) {
  HALVARO_REQUIRE_FIXTURE(file, "access/V2000/test2V2000.mdb");
  HALVARO_REQUIRE_MDBTOOLS();
  auto ours = dump(file, {"MSP_PROJECTS"});
  ASSERT_EQ(ours.status, 0) << ours.out;
  auto reference = run_program("mdb-export", {"-b", "hex", file.string(), "MSP_PROJECTS"}, ErrorOutput::dropped);
  ASSERT_EQ(reference.status, 0) << reference.out;
  std::string expected = only_row_field(reference.out, "RESERVED_BINARY_DATA");
  ASSERT_GT(expected.size(), 2u) << reference.out;
  expected = expected.substr(1, expected.size() - 2);
  for (auto& ch : expected) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  EXPECT_EQ(only_row_field(ours.out, "RESERVED_BINARY_DATA"), expected);
}

TEST(Dump, SqlOfTheOldDatabasesViews) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  auto result = dump(file, {"--sql", "VwPurchaseDebitMtr"});
  ASSERT_EQ(result.status, 0) << result.out;
  EXPECT_EQ(result.out,
            "SELECT tblInvoice.StRegNo, tblInvoice.TaxPeriod, tblInvoice.InvoiceType, "
            "tblInvoice.InvoiceNo, tblInvoice.InvoiceDate, tblInvoice.STRegNoSupplier, "
            "tblSupplierBuyer.SupplierName AS Buyer, tblInvoice.TotalSalesTax, "
            "tblInvoice.TotalExcludSalTax, tblInvoice.TotalIncludSalTax, tblInvoice.TotalSED "
            "FROM tblInvoice LEFT JOIN tblSupplierBuyer ON (tblInvoice.StRegNo = "
            "tblSupplierBuyer.STRegNo AND tblInvoice.STRegNoSupplier = "
            "tblSupplierBuyer.STRegNoSupplier) WHERE tblInvoice.InvoiceType = 'P' OR "
            "tblInvoice.InvoiceType = 'D'\n");

  // Names are matched without regard to case.
  auto items = dump(file, {"--sql", "vwsalescredit"});
  ASSERT_EQ(items.status, 0) << items.out;
  EXPECT_THAT(items.out, HasSubstr("SELECT tblInvoiceItem.StRegNo, "));
  EXPECT_THAT(items.out, HasSubstr(" WHERE tblInvoiceItem.InvoiceType IN ('S', 'C')\n"));

  EXPECT_THAT(dump(file, {"--sql", "VwShippingBillMtr"}).out,
              HasSubstr("tblShippingBill.Uom AS UomMtr"));
  EXPECT_THAT(dump(file, {"--sql", "VwShippingBill"}).out,
              HasSubstr("tblShippingBillItem.Uom AS UomDetail"));
}

// Several tables in one run come out as the single dumps one after another; a
// misspelt name among them prints nothing at all.
TEST(Dump, SeveralTablesInOneRun) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  auto both = dump(file, {"tblInvoice", "tblClaimantTaxPeriod"});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out, dump(file, {"tblInvoice"}).out + dump(file, {"tblClaimantTaxPeriod"}).out);
  auto misspelt = dump(file, {"tblInvoice", "tblNoSuchTable"});
  EXPECT_EQ(misspelt.status, 2);
  EXPECT_EQ(misspelt.out.find("InvoiceNo"), std::string::npos) << misspelt.out;
  EXPECT_THAT(misspelt.out, HasSubstr("no table named tblNoSuchTable"));
}

TEST(Dump, ClearErrorsForBadArguments) {
  HALVARO_REQUIRE_DATABASE(file, "old-small.mdb");
  TempDir dir;
  auto text_file = dir.path() / "notes.mdb";
  std::ofstream(text_file) << "These are not the pages of an Access database.\n";
  auto empty_file = dir.path() / "empty.mdb";
  std::ofstream{empty_file};

  struct Case {
    std::filesystem::path file;
    std::vector<std::string> arguments;
    std::string message;
  };
  std::vector<Case> cases{
      {dir.path() / "missing.mdb", {}, "no such file"},
      {dir.path(), {}, "is a folder"},
      {text_file, {}, text_file.filename().string()},
      {empty_file, {}, empty_file.filename().string()},
      {file, {"tblNoSuchTable"}, "no table named tblNoSuchTable"},
      {file, {"--sql", "VwNoSuchView"}, "no saved query named VwNoSuchView"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file.string() + " " + ::testing::PrintToString(c.arguments));
    auto result = dump(c.file, c.arguments);
    EXPECT_EQ(result.status, 2) << result.out;
    EXPECT_THAT(result.out, HasSubstr(c.message));
    EXPECT_THAT(result.out, HasSubstr("halvaro: "));
  }
}

TEST(Dump, SqlOfEveryKindOfSavedQuery) {
  HALVARO_REQUIRE_FIXTURE(file, "access/V2000/queryTestV2000.mdb");
  const std::pair<const char*, const char*> starts[] = {
      {"DeleteQuery", "DELETE Table1.col1, "},       {"UpdateQuery", "PARAMETERS [User Name] Text; UPDATE "},
      {"AppendQuery", "INSERT INTO Table3 (col2, "}, {"MakeTableQuery", "SELECT Max(Table2.col1) AS MaxOfcol1, "},
      {"CrosstabQuery", "TRANSFORM Count("},         {"UnionQuery", "Select Table1.col1, "},
      {"PassthroughQuery", "ALTER TABLE Table4 "},   {"DataDefinitionQuery", "CREATE TABLE Table5 "},
  };
  for (const auto& [query, start] : starts) {
    auto result = dump(file, {"--sql", query});
    EXPECT_EQ(result.status, 0) << query << ": " << result.out;
    EXPECT_EQ(result.out.rfind(start, 0), 0u) << query << ": " << result.out;
  }
  // Flags 1 on the union: its second part follows by UNION ALL.
  EXPECT_THAT(dump(file, {"--sql", "UnionQuery"}).out, HasSubstr("Table2.col2 UNION ALL Select Table3.col1"));
}

}  // namespace
}  // namespace halvaro::test
