#include <gtest/gtest.h>


#include <filesystem>
#include <fstream>

#include "app/preflight.h"
#include "app/repeat_check.h"
#include "app/transfer_run.h"
#include "db/jet_store.h"
#include "tests/app/fitting_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

using app::Message;
using app::MessageStyle;
using app::TransferRun;

struct RecordingSink : app::MessageSink {
  std::vector<Message> shown;
  std::vector<std::string> notes;
  void show(const Message& message) override { shown.push_back(message); }
  void note(const std::string& line) override { notes.push_back(line); }
};

bool mentions(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

struct PreflightTest : ::testing::Test {
  FakeFiles files;
  RecordingSink sink;
  TransferRun run{sink, files.opener()};
  FakeFile& old_file = files.files["/old.mdb"];
  FakeFile& new_file = files.files["/new.mdb"];

  void SetUp() override {
    add_fitting_sources(old_file);
    // One tax period, so that a run that is not refused writes a row.
    const db::Stage& periods = transfers::claimant_tax_period_group().stages[0];
    std::vector<std::string> columns = app::master_columns_read(periods);
    old_file.add_result(std::string(periods.source), columns, {std::vector<FieldValue>(columns.size(), "1")});
  }

  app::FileCheck check() {
    db::StoreOpener opener = files.opener();
    auto source = opener("/old.mdb", db::Access::ReadOnly);
    auto destination = opener("/new.mdb", db::Access::Append);
    return app::check_files(*source, *destination, all_groups());
  }

  size_t rows_appended() {
    size_t rows = 0;
    for (const auto& [name, table] : new_file.tables) rows += table->rows.size();
    return rows;
  }
};

TEST_F(PreflightTest, FilesWithEverythingTheRunUsesPass) {
  add_destination_tables(new_file);
  app::FileCheck result = check();
  EXPECT_TRUE(result.fit()) << unfit_files_message(result, "/old.mdb", "/new.mdb").text;
  EXPECT_EQ(result.masters.size(), app::stages_of(all_groups()).size());
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::AllMoved);
  EXPECT_EQ(rows_appended(), 1u);
}

TEST_F(PreflightTest, MissingTablesAndColumnsAreAllNamedInOneStopMessageAndNothingIsWritten) {
  add_destination_tables(new_file);
  new_file.tables.erase("tblinvoicemtr");
  new_file.tables.erase("tblbillofentrydetail");
  // tblClaimantInfo without NICOld.
  std::vector<FakeColumn> claimant;
  for (const db::FieldEntry& entry : transfers::claimant_info_group().stages[0].mapping)
    if (entry.destination != "NICOld") claimant.push_back({std::string(entry.destination)});
  new_file.tables.erase("tblclaimantinfo");
  new_file.add_table(FakeTable("tblClaimantInfo", claimant));

  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::Unfit);
  ASSERT_EQ(sink.shown.size(), 1u);
  const Message& refusal = sink.shown[0];
  EXPECT_EQ(refusal.style, MessageStyle::Stop);
  EXPECT_EQ(refusal.title, "Halvaro: File Error");
  EXPECT_TRUE(mentions(refusal.text, "nothing was written...!")) << refusal.text;
  EXPECT_TRUE(mentions(refusal.text, "Destination /new.mdb:")) << refusal.text;
  EXPECT_TRUE(mentions(refusal.text, "table tblInvoiceMtr is missing")) << refusal.text;
  EXPECT_TRUE(mentions(refusal.text, "table tblBillofEntrydetail is missing")) << refusal.text;
  EXPECT_TRUE(mentions(refusal.text, "column tblClaimantInfo.NICOld is missing")) << refusal.text;
  // Named once, though both invoice halves write it.
  EXPECT_EQ(refusal.text.find("tblInvoiceMtr"), refusal.text.rfind("tblInvoiceMtr"));
  EXPECT_FALSE(mentions(refusal.text, "Source")) << refusal.text;
  EXPECT_EQ(rows_appended(), 0u);
  EXPECT_EQ(new_file.closes, 1);  // opened once, closed without a transfer
}

TEST_F(PreflightTest, AColumnThatCannotHoldItsDefaultIsAMismatch) {
  // "NIL" cannot become a number; the whole number 0 goes into text, numbers and dates alike.
  add_destination_tables(new_file, {{"bankcode", jet::ColumnType::Long},
                                    {"BackupCount", jet::ColumnType::Integer},
                                    {"LastBackUp", jet::ColumnType::DateTime},
                                    {"SupplierRBuyer", jet::ColumnType::Guid}});
  app::FileCheck result = check();
  ASSERT_EQ(result.destination_problems.size(), 2u);
  EXPECT_TRUE(mentions(result.destination_problems[0],
                       "tblClaimantInfo.bankcode (Long Integer) cannot hold the value \"NIL\""))
      << result.destination_problems[0];
  EXPECT_TRUE(mentions(result.destination_problems[1], "tblSupplierBuyer.SupplierRBuyer (Replication ID)"))
      << result.destination_problems[1];
}

TEST_F(PreflightTest, SourceTablesViewsAndColumnsAreNamedAndAFailingViewIsRefused) {
  add_destination_tables(new_file);
  old_file.results.erase("Select * from tblSupplierBuyer");
  forget_item_view(old_file, "VwSalesCredit");
  old_file.failures["SELECT *  FROM  vwBillOfentryMtr"] = "Undefined function 'Nz' in expression.";
  // The purchase items lack columns the item query compares (so it fails), the shipping
  // items one the mapping reads (so it answers without it).
  forget_item_view(old_file, "VwPurchaseDebit");
  old_file.add_result(item_view_text("VwPurchaseDebit"), {"StRegNo", "TaxPeriod", "InvoiceNo"}, {});
  const auto& shipping_items = *transfers::shipping_bill_group().stages[0].detail;
  std::vector<std::string> without_uom;
  for (const db::FieldEntry& entry : shipping_items.mapping)
    if (entry.source != "UomDetail") without_uom.emplace_back(entry.source);
  old_file.add_result(app::item_query_for_empty_values(shipping_items.query), without_uom, {});
  // The bills of entry's items answer as a view, but their item query fails.
  const auto& bill_items = *transfers::bill_of_entry_group().stages[0].detail;
  old_file.failures[app::item_query_for_empty_values(bill_items.query)] = "Data type mismatch in criteria expression.";

  app::FileCheck result = check();
  EXPECT_TRUE(result.destination_problems.empty());
  Message refusal = unfit_files_message(result, "/old.mdb", "/new.mdb");
  for (const char* problem :
       {"table or view tblSupplierBuyer is missing", "table or view VwSalesCredit is missing",
        "vwBillOfentryMtr cannot be evaluated: Undefined function 'Nz' in expression.",
        "column VwPurchaseDebit.InvoiceType is missing", "column VwPurchaseDebit.invoicedate is missing",
        "column VwPurchaseDebit.stregnosupplier is missing", "column VwPurchaseDebit.pct_code is missing",
        "column VwShippingBill.UomDetail is missing",
        "vwbillofentry cannot be evaluated: Data type mismatch in criteria expression."})
    EXPECT_TRUE(mentions(refusal.text, problem)) << problem << "\n" << refusal.text;
  // cstr is a function of the item query, not a column.
  EXPECT_FALSE(mentions(refusal.text, "cstr")) << refusal.text;

  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::Unfit);
  EXPECT_EQ(rows_appended(), 0u);
}

TEST(ItemQueryNeeds, TheViewAndEveryComparedColumnComeFromTheQueryText) {
  const auto& detail = *transfers::invoices_group().stages[1].detail;
  app::ItemQueryNeeds needs = app::item_query_needs(detail.query);
  EXPECT_EQ(needs.view, "VwSalesCredit");
  EXPECT_EQ(needs.columns, (std::vector<std::string>{"StRegNo", "TaxPeriod", "InvoiceType", "InvoiceNo",
                                                     "invoicedate", "stregnosupplier"}));
  // Words inside the quoted values are data, not columns.
  std::vector<db::QueryPiece> quoted{db::literal("Select * from [My View] where A = 'B and C' And cstr (D)= '"),
                                     db::source_value("x", "D"), db::literal("'")};
  needs = app::item_query_needs(quoted);
  EXPECT_EQ(needs.view, "My View");
  EXPECT_EQ(needs.columns, (std::vector<std::string>{"A", "D"}));
}

// Over the project's databases (the shared fixtures, or the stand-ins the build makes),
// checked through our engine.

struct FixturePreflight : ::testing::Test {
  TempDir dir;
  RecordingSink sink;
  TransferRun run{sink};
};

TEST_F(FixturePreflight, AnOldVersionFileAsDestinationIsRefusedWithEveryMissingTableAndLeftAsItWas) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  auto destination = dir.copy_in(old_small);
  const std::string before = file_bytes(destination);
  const auto modified_before = std::filesystem::last_write_time(destination);

  EXPECT_EQ(run.run(old_small.string(), destination.string()), TransferRun::Outcome::Unfit);
  ASSERT_EQ(sink.shown.size(), 1u);
  const std::string& text = sink.shown[0].text;
  for (const char* table : {"tblInvoiceMtr", "tblInvoiceDetail", "tblBillOfEntryMtr", "tblBillofEntrydetail",
                            "tblShippingBillmtr", "tblShippingBilldetail"})
    EXPECT_TRUE(mentions(text, std::string("table ") + table + " is missing")) << table << "\n" << text;
  EXPECT_FALSE(mentions(text, "Source")) << text;

  EXPECT_EQ(file_bytes(destination), before);
  EXPECT_EQ(std::filesystem::last_write_time(destination), modified_before);
  // No backup either: the run was refused before it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST_F(FixturePreflight, ANewDatabaseAsSourceIsRefusedNamingTheViews) {
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto source = dir.path() / "source.mdb";
  std::filesystem::copy_file(new_empty, source);
  auto destination = dir.copy_in(new_empty);
  EXPECT_EQ(run.run(source.string(), destination.string()), TransferRun::Outcome::Unfit);
  ASSERT_EQ(sink.shown.size(), 1u);
  for (const char* view : {"VwPurchaseDebitMtr", "VwPurchaseDebit", "VwSalesCreditMtr", "VwSalesCredit",
                           "vwBillOfentryMtr", "vwbillofentry", "VwShippingBillMtr", "VwShippingBill"})
    EXPECT_TRUE(mentions(sink.shown[0].text, std::string("table or view ") + view + " is missing"))
        << view << "\n" << sink.shown[0].text;
}

TEST_F(FixturePreflight, RowsAlreadyInTheDestinationAreFoundBeforeASecondRunWrites) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  HALVARO_REQUIRE_DATABASE(new_nonempty, "new-nonempty.mdb");
  auto find = [&](const std::filesystem::path& destination) {
    db::StoreOpener opener = db::jet_store_opener();
    auto source = opener(old_small.string(), db::Access::ReadOnly);
    auto target = opener(destination.string(), db::Access::Append);
    app::FileCheck check = app::check_files(*source, *target, transfers::groups_in_run_order());
    EXPECT_TRUE(check.fit()) << unfit_files_message(check, "old", "new").text;
    auto lines = app::find_repeats(check, *target, transfers::groups_in_run_order());
    target->close();
    return lines;
  };

  // Rows that collide with none of the old file's keys are no repeats.
  auto nonempty = dir.copy_in(new_nonempty);
  EXPECT_TRUE(find(nonempty).empty());

  auto destination = dir.copy_in(new_empty);
  EXPECT_TRUE(find(destination).empty());
  app::TransferRun first(sink);
  first.set_safety({});
  first.run(old_small.string(), destination.string());
  std::vector<std::string> lines = find(destination);
  std::string all;
  for (const auto& line : lines) all += line + "\n";
  EXPECT_TRUE(mentions(all, "Claimant profile: 2 of 2 are already in tblClaimantInfo (same STRegNO: 0301234500017; "
                            "1203987600025); the group stops at the first of them"))
      << all;
  EXPECT_TRUE(mentions(all, "Claimant tax periods: 8 of 8 are already in tblClaimantTaxPeriod")) << all;
  EXPECT_TRUE(mentions(all, "Suppliers and buyers: 15 of 15")) << all;
  EXPECT_TRUE(mentions(all, "Purchase and debit-note invoices: 16 of 16")) << all;
  // The invoice group stops in its first half, so the second half is not reached.
  EXPECT_FALSE(mentions(all, "Sales and credit-note invoices")) << all;
  EXPECT_TRUE(mentions(all, "Bills of entry: 6 of 6")) << all;
  EXPECT_TRUE(mentions(all, "Shipping bills: 6 of 6 are already in tblShippingBillmtr, with 12 items in "
                            "tblShippingBilldetail; this run appends them again"))
      << all;
  EXPECT_EQ(lines.size(), 6u) << all;
}

}  // namespace
}  // namespace halvaro::test
