#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/transfer_run.h"
#include "bench/generator/old_database.h"
#include "db/jet_store.h"
#include "sql/create_script.h"
#include "jet/builder/database_builder.h"
#include "jet/catalog/database.h"
#include "jet/writer/database_writer.h"
#include "tests/support/fixtures.h"
#include "tests/app/fitting_files.h"

namespace halvaro::test {
namespace {

using app::Message;
using app::MessageStyle;
using app::TransferRun;

struct RecordingSink : app::MessageSink {
  std::vector<Message> shown;
  std::vector<app::Progress> progress_seen;
  void show(const Message& message) override { shown.push_back(message); }
  void progress(const app::Progress& progress) override { progress_seen.push_back(progress); }
};

struct TransferRunTest : ::testing::Test {
  FakeFiles files;
  RecordingSink sink;
  TransferRun run{sink, files.opener()};

  void SetUp() override {
    add_fitting_sources(files.files["/old.mdb"]);
    add_destination_tables(files.files["/new.mdb"]);
  }
};

TEST_F(TransferRunTest, SamePathIsRefusedWithTheStopBoxAndOpensNothing) {
  EXPECT_EQ(run.run("/old.mdb", "/old.mdb"), TransferRun::Outcome::Refused);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "Source And Destination file can not be same...!");
  EXPECT_EQ(sink.shown[0].style, MessageStyle::Stop);
  EXPECT_EQ(sink.shown[0].title, "Halvaro: File Error");
  EXPECT_TRUE(files.opened.empty());
  EXPECT_EQ(run.run("", ""), TransferRun::Outcome::Refused);
}

TEST(SameFile, DifferentTextsForOneFileAreTheSameFile) {
  TempDir dir;
  auto file = dir.path() / "data.mdb";
  std::ofstream(file) << "x";
  // Another spelling, a second name (a hard link), and a symbolic link where the
  // system lets this user make one.
  EXPECT_TRUE(app::same_file(file.string(), (dir.path() / "." / "data.mdb").string()));
  std::filesystem::create_hard_link(file, dir.path() / "second.mdb");
  EXPECT_TRUE(app::same_file(file.string(), (dir.path() / "second.mdb").string()));
  std::error_code no_link;
  std::filesystem::create_symlink(file, dir.path() / "link.mdb", no_link);
  if (no_link) std::filesystem::create_hard_link(file, dir.path() / "link.mdb");
  EXPECT_TRUE(app::same_file(file.string(), (dir.path() / "link.mdb").string()));
  std::ofstream(dir.path() / "other.mdb") << "x";
  EXPECT_FALSE(app::same_file(file.string(), (dir.path() / "other.mdb").string()));
  EXPECT_FALSE(app::same_file(file.string(), (dir.path() / "missing.mdb").string()));

  RecordingSink sink;
  FakeFiles files;
  TransferRun run(sink, files.opener());
  EXPECT_EQ(run.run(file.string(), (dir.path() / "link.mdb").string()), TransferRun::Outcome::Refused);
  EXPECT_TRUE(files.opened.empty());
}

TEST_F(TransferRunTest, OpenFailureNamesTheFileAndRunsNothing) {
  EXPECT_EQ(run.run("/missing.mdb", "/new.mdb"), TransferRun::Outcome::OpenFailed);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_NE(sink.shown[0].text.find("source file /missing.mdb"), std::string::npos) << sink.shown[0].text;
  EXPECT_EQ(sink.shown[0].style, MessageStyle::Stop);

  sink.shown.clear();
  EXPECT_EQ(run.run("/old.mdb", "/gone.mdb"), TransferRun::Outcome::OpenFailed);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_NE(sink.shown[0].text.find("destination file /gone.mdb"), std::string::npos);
  EXPECT_NE(sink.shown[0].details.at(0).find("Could not find file"), std::string::npos);
  EXPECT_EQ(files.files["/old.mdb"].closes, 1);  // the source opened first is closed again
  EXPECT_TRUE(files.files["/old.mdb"].statements.empty());
}

TEST_F(TransferRunTest, EmptySourceMovesAllAndTheSourceIsOnlyRead) {
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::AllMoved);
  EXPECT_EQ(run.SuccessCount(), 6);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "All data moved successfully...!");
  EXPECT_EQ(sink.shown[0].style, MessageStyle::Information);
  EXPECT_EQ(sink.shown[0].title, "");
  ASSERT_FALSE(files.opened.empty());
  EXPECT_EQ(files.opened[0], std::make_pair(std::string("/old.mdb"), db::Access::ReadOnly));
  // No row appended; seven CloseRecordSets (two more for the invoices) and the run's close.
  for (const auto& [name, table] : files.files["/new.mdb"].tables) EXPECT_TRUE(table->rows.empty()) << name;
  EXPECT_EQ(files.files["/new.mdb"].closes, 5 + 2 + 1);
  // A second press works the same way.
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::AllMoved);
}

TEST_F(TransferRunTest, OneStoppedGroupGivesFourAndSomeDataMissing) {
  FakeFile& old_file = files.files["/old.mdb"];
  FakeFile& new_file = files.files["/new.mdb"];
  old_file.add_result("Select * from tblSupplierBuyer",
                      {"STRegNo", "STRegNoSupplier", "SupplierName", "RegAddress", "SupplierRBuyer"},
                      {{"A", "B", "n", "r", "S"}});
  new_file.table("tblSupplierBuyer").fail_append = [](const std::vector<FieldValue>&) {
    throw db::DbError(db::ErrorCode::IntegrityViolation, "duplicate values in the index");
  };
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 4);
  ASSERT_EQ(sink.shown.size(), 2u);
  EXPECT_EQ(sink.shown[0].text, "duplicate values in the index");
  EXPECT_EQ(sink.shown[0].style, MessageStyle::Plain);
  EXPECT_EQ(sink.shown[1].text, "Some data missing...!");
  // The stop, then the row it left behind, named by its key.
  ASSERT_EQ(sink.shown[1].details.size(), 2u) << ::testing::PrintToString(sink.shown[1].details);
  EXPECT_NE(sink.shown[1].details[0].find("Suppliers and buyers"), std::string::npos);
  EXPECT_EQ(sink.shown[1].details[1],
            "Suppliers and buyers: tblSupplierBuyer [STRegNo A, STRegNoSupplier B, SupplierRBuyer S]: not moved: "
            "refused: duplicate values in the index");
  EXPECT_EQ(run.report().account.sources[2].rows, 1u);
  EXPECT_EQ(run.report().account.sources[2].moved, 0u);
}

TEST_F(TransferRunTest, EveryGroupFailingGivesMinusSixAndOneMessageEach) {
  // Files that pass the check, and a destination that refuses every row.
  FakeFile& old_file = files.files["/old.mdb"];
  for (const db::Stage* stage : app::stages_of(all_groups())) {
    std::vector<std::string> columns = app::master_columns_read(*stage);
    old_file.add_result(std::string(stage->source), columns, {std::vector<FieldValue>(columns.size(), "1")});
  }
  for (auto& [name, table] : files.files["/new.mdb"].tables)
    table->fail_append = [](const std::vector<FieldValue>&) {
      throw db::DbError(db::ErrorCode::Unspecified, "Disk or network error.");
    };
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), -6);
  EXPECT_EQ(sink.shown.size(), 6u + 1u);
  EXPECT_EQ(sink.shown.back().text, "Some data missing...!");
  // Each group's stop is listed, and so is every source row that did not arrive.
  const auto& details = sink.shown.back().details;
  EXPECT_GE(details.size(), 6u);
}

TEST_F(TransferRunTest, SkippedValueMeansSomeDataMissingWithTheListAndProgressIsReported) {
  FakeFile& old_file = files.files["/old.mdb"];
  old_file.add_result("Select * from tblSupplierBuyer",
                      {"STRegNo", "STRegNoSupplier", "SupplierName", "RegAddress", "SupplierRBuyer"},
                      {{"A", "B", std::string(120, 'x'), "r", "S"}, {"A", "C", "ok", "r", "B"}});
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "Some data missing...!");
  ASSERT_EQ(sink.shown[0].details.size(), 1u) << ::testing::PrintToString(sink.shown[0].details);
  EXPECT_NE(sink.shown[0].details[0].find("SupplierName"), std::string::npos) << sink.shown[0].details[0];
  EXPECT_EQ(files.files["/new.mdb"].table("tblSupplierBuyer").rows.size(), 2u);

  bool saw_done = false;
  for (const auto& p : sink.progress_seen)
    saw_done |= p.group == "Suppliers and buyers" && p.done == 2 && p.total == 2;
  EXPECT_TRUE(saw_done);
}

TEST_F(TransferRunTest, CommitFailuresAreNeverReportedAsSuccess) {
  FakeFile& new_file = files.files["/new.mdb"];
  new_file.close_error = db::ErrorCode::Unspecified;  // in the tax periods' CloseRecordSet
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 4);  // that group stops; the others recycle and run

  sink.shown.clear();
  new_file.closes = 0;
  new_file.close_error_at = 8;  // the run's own close, after seven CloseRecordSets
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  ASSERT_EQ(sink.shown.size(), 2u);
  EXPECT_EQ(sink.shown[0].text, "Disk full while committing.");
  EXPECT_EQ(sink.shown[1].text, "Some data missing...!");
}

// Whole runs over the project's databases (the shared fixtures, or the stand-ins the
// build makes), through our Access engine.

struct Table {
  const jet::TableDef* def = nullptr;
  std::vector<std::vector<FieldValue>> rows;
  size_t column(std::string_view name) const {
    for (size_t i = 0; i < def->columns.size(); ++i)
      if (folded(def->columns[i].name) == folded(name)) return i;
    throw std::out_of_range(std::string(name));
  }
  // `name` of the first row whose columns hold these values.
  FieldValue at(std::vector<std::pair<std::string, FieldValue>> keys, std::string_view name) const {
    for (const auto& r : rows) {
      bool match = true;
      for (const auto& [key, value] : keys) match &= r[column(key)] == value;
      if (match) return r[column(name)];
    }
    throw std::out_of_range("no such row");
  }
};

Table read_table(const jet::Database& db, std::string_view name) {
  Table table;
  table.def = &db.table(name);
  db.scan(*table.def, [&](std::span<const FieldValue> values) {
    table.rows.emplace_back(values.begin(), values.end());
    return true;
  });
  return table;
}

const std::vector<std::string> kTables{"tblClaimantInfo",   "tblClaimantTaxPeriod", "tblSupplierBuyer",
                                       "tblInvoiceMtr",     "tblInvoiceDetail",     "tblBillOfEntryMtr",
                                       "tblBillofEntrydetail", "tblShippingBillmtr", "tblShippingBilldetail"};

std::vector<size_t> row_counts(const std::filesystem::path& file) {
  auto db = jet::Database::open(file);
  std::vector<size_t> counts;
  for (const auto& name : kTables) counts.push_back(read_table(*db, name).rows.size());
  return counts;
}

void expect_check_passes(const std::filesystem::path& file) {
  if (run_halvaro({"--help"}).out.find("check") == std::string::npos) return;  // not built in
  auto check = run_halvaro({"check", file.string()}, ErrorOutput::merged);
  EXPECT_EQ(check.status, 0) << check.out;
}

struct FixtureRun : ::testing::Test {
  TempDir dir;
  RecordingSink sink;
  TransferRun run{sink};
};

// Before the first write a large source's tables are read, which shows how far it is,
// while the whole file is checked for damage beside it: should the run wait for that
// check, it shows how far the check is, before any row is copied.
TEST(LargeSource, ItsReadingAndItsCheckShowHowFarTheyAre) {
  TempDir dir;
  const auto source = dir.path() / "old.mdb", destination = dir.path() / "new.mdb";
  const long source_rows = bench::write_old_database(1000, source);
  sql::script::create_database(destination, std::filesystem::path(HALVARO_EXAMPLES_DIR) / "new-5.1.sql");
  RecordingSink sink;
  TransferRun run(sink, db::jet_store_opener());
  ASSERT_EQ(run.run(source.string(), destination.string()), TransferRun::Outcome::AllMoved);

  std::vector<app::Progress::Work> order;
  std::vector<long long> checked, read;
  for (const app::Progress& step : sink.progress_seen) {
    if (order.empty() || order.back() != step.work) order.push_back(step.work);
    if (step.group == app::kCheckingSource) {
      checked.push_back(step.done);
      EXPECT_EQ(step.total, source_rows);
    }
    if (step.group == app::kReadingSource) read.push_back(step.done);
  }
  using Work = app::Progress::Work;
  EXPECT_EQ(order, (std::vector<Work>{Work::ReadingSource, Work::CopyingRows}));
  ASSERT_FALSE(read.empty());
  EXPECT_TRUE(std::is_sorted(read.begin(), read.end()));
  EXPECT_LE(read.back(), source_rows);
  EXPECT_TRUE(std::is_sorted(checked.begin(), checked.end()));
}

// The check of a damaged source goes on while the destination is opened and both files
// are checked, but its damage is what the run reports: the source "could not be opened",
// before a destination that is missing or does not fit, and nothing is written.
TEST(DamagedSource, IsReportedFirstEvenWhenTheDestinationFailsToo) {
  TempDir dir;
  const auto source = dir.path() / "old.mdb", destination = dir.path() / "new.mdb";
  bench::write_old_database(200, source);
  zero_data_page(source, "tblInvoiceItem", /*last=*/true);
  auto expect_source_failure = [&](const std::string& to, const char* case_name) {
    RecordingSink sink;
    TransferRun run(sink, db::jet_store_opener());
    EXPECT_EQ(run.run(source.string(), to), TransferRun::Outcome::OpenFailed) << case_name;
    ASSERT_EQ(sink.shown.size(), 1u) << case_name;
    EXPECT_NE(sink.shown[0].text.find("Could not open the source file"), std::string::npos) << case_name;
    ASSERT_FALSE(sink.shown[0].details.empty()) << case_name;
    EXPECT_NE(sink.shown[0].details[0].find("table tblInvoiceItem"), std::string::npos) << sink.shown[0].details[0];
  };
  expect_source_failure((dir.path() / "missing.mdb").string(), "missing destination");

  // An Access file without the run's tables: unfit, but the source's damage comes first.
  const auto unfit = dir.path() / "unfit.mdb";
  jet::DatabaseBuilder(DateTime{45000}).write(unfit);
  const std::string unfit_before = file_bytes(unfit);
  expect_source_failure(unfit.string(), "unfit destination");
  EXPECT_EQ(file_bytes(unfit), unfit_before);

  sql::script::create_database(destination, std::filesystem::path(HALVARO_EXAMPLES_DIR) / "new-5.1.sql");
  const std::string fitting_before = file_bytes(destination);
  expect_source_failure(destination.string(), "fitting destination");
  EXPECT_EQ(file_bytes(destination), fitting_before);
}

TEST_F(FixtureRun, OldSmallIntoNewEmptyMovesEveryGroupAndListsTheOneValueNotStored) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto source = dir.copy_in(old_small);
  auto destination = dir.copy_in(new_empty);
  const std::string before = file_bytes(source);
  const std::string destination_before = file_bytes(destination);

  EXPECT_EQ(run.run(source.string(), destination.string()), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "Some data missing...!");
  // The value not stored, then the source rows that did not arrive exactly once: the
  // orphan item, the bill-of-entry item of another type, the items of the shipping bill
  // entered twice.
  const auto& details = sink.shown[0].details;
  // The backup line comes last.
  ASSERT_EQ(details.size(), 1u + 1u + 1u + 3u + 1u);
  EXPECT_NE(details[0].find("0502222200014"), std::string::npos) << details[0];
  EXPECT_NE(details[0].find("SupplierName"), std::string::npos);
  EXPECT_NE(details[1].find("VwPurchaseDebit [StRegNo 0301234500017, TaxPeriod"), std::string::npos) << details[1];
  EXPECT_NE(details[1].find("InvoiceNo TI-0099"), std::string::npos) << details[1];
  EXPECT_NE(details[2].find("vwbillofentry"), std::string::npos) << details[2];
  for (size_t i = 3; i < 6; ++i) EXPECT_NE(details[i].find("moved 2 times"), std::string::npos) << details[i];
  EXPECT_EQ(file_bytes(source), before);

  // The result names the backup, which holds the destination as it was before the run.
  const std::string backup_line = "Backup of the destination before this run: ";
  ASSERT_EQ(details.back().rfind(backup_line, 0), 0u) << details.back();
  std::filesystem::path backup = details.back().substr(backup_line.size());
  EXPECT_EQ(backup.parent_path(), destination.parent_path());
  EXPECT_EQ(file_bytes(backup), destination_before);

  EXPECT_EQ(row_counts(destination), (std::vector<size_t>{2, 8, 15, 30, 53, 6, 9, 6, 12}));
  auto db = jet::Database::open(destination);
  Table claimants = read_table(*db, "tblClaimantInfo");
  EXPECT_EQ(claimants.at({{"STRegNO", "0301234500017"}}, "Email"), FieldValue("0"));
  EXPECT_EQ(claimants.at({{"STRegNO", "1203987600025"}}, "Fax"), FieldValue(" "));
  EXPECT_EQ(claimants.at({{"STRegNO", "1203987600025"}}, "CollectorateCode"), FieldValue("NIL"));
  EXPECT_EQ(claimants.at({{"STRegNO", "1203987600025"}}, "bankcode"), FieldValue("NIL"));
  EXPECT_EQ(read_table(*db, "tblClaimantTaxPeriod").at({{"STRegNO", "0301234500017"}, {"Taxperiod", "202311"}},
                                                      "BackupCount"),
            FieldValue(int64_t{0}));
  Table partners = read_table(*db, "tblSupplierBuyer");
  EXPECT_TRUE(partners.at({{"STRegNoSupplier", "0502222200014"}}, "SupplierName").is_null());

  Table invoices = read_table(*db, "tblInvoiceMtr");
  EXPECT_EQ(invoices.at({{"InvoiceNo", "TI-0103"}}, "InvoiceDate"), FieldValue("17/08/2023"));
  EXPECT_EQ(invoices.at({{"InvoiceNo", "TI-0103"}}, "TotalSED"), FieldValue(Currency{0}));
  EXPECT_EQ(invoices.at({{"InvoiceNo", "TI-0103"}}, "buyer"), FieldValue("Müller & Söhne Trading Co."));
  EXPECT_EQ(invoices.at({{"InvoiceNo", "TI-0151"}}, "buyer"), FieldValue("0"));
  Table items = read_table(*db, "tblInvoiceDetail");
  EXPECT_EQ(items.at({{"InvoiceNo", "TI-0103"}, {"ItemSerialNo", 2}}, "ExcludSalTax"), FieldValue(Currency{154321275}));
  EXPECT_EQ(items.at({{"InvoiceNo", "TI-0103"}, {"ItemSerialNo", 2}}, "specialSED"), FieldValue(Currency{0}));

  // The invoice with an apostrophe in its number found its items, in the view's order.
  std::vector<FieldValue> serials;
  for (const auto& r : items.rows)
    if (r[items.column("InvoiceNo")] == FieldValue("INV-O'7")) serials.push_back(r[items.column("ItemSerialNo")]);
  auto old_db = jet::Database::open(source);
  Table old_items = read_table(*old_db, "tblInvoiceItem");
  std::vector<FieldValue> expected;
  for (const auto& r : old_items.rows)
    if (r[old_items.column("InvoiceNo")] == FieldValue("INV-O'7")) expected.push_back(r[old_items.column("ItemSerialNo")]);
  EXPECT_EQ(serials.size(), 3u);
  EXPECT_EQ(serials, expected);

  EXPECT_EQ(read_table(*db, "tblShippingBillmtr").at({{"StRegNo", "0301234500017"}, {"shippingbillno", 4587123}}, "UOM"),
            FieldValue("KG"));
  EXPECT_EQ(read_table(*db, "tblShippingBilldetail").at({{"shippingbillno", 771204}, {"itemserialno", 1}}, "uom"),
            FieldValue("0"));
  EXPECT_EQ(read_table(*db, "tblBillOfEntryMtr").at({{"billofentryno", "KAPE-HC-099812"}}, "CashDate"),
            FieldValue(DateTime{0}));
  EXPECT_EQ(read_table(*db, "tblBillofEntrydetail").at({{"billofentryno", "KAPW-HC-104587"}, {"Itemserialno", 1}},
                                                      "SpecialSED"),
            FieldValue(Currency{0}));
  db.reset();
  expect_check_passes(destination);
}

TEST_F(FixtureRun, OldSmallIntoNewNonEmptyAppendsAfterTheRowsThere) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_nonempty, "new-nonempty.mdb");
  auto destination = dir.copy_in(new_nonempty);
  EXPECT_EQ(run.run(old_small.string(), destination.string()), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  EXPECT_EQ(row_counts(destination), (std::vector<size_t>{3, 9, 16, 32, 56, 7, 10, 6, 12}));
  expect_check_passes(destination);
}

// Partners whose registration numbers and names are written in Urdu and Greek
// letters, with invoices numbered the same way: these texts are in the destination's
// keys, and every row is stored and found again by them.
TEST_F(FixtureRun, PartnersAndInvoicesInUrduAndGreekLettersAreAllStored) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto source = dir.copy_in(old_small);
  auto destination = dir.copy_in(new_empty);
  const std::string urdu_number = "۰۴۰۲۱۱۱۱۰۰۰۹۹";
  const std::string greek_number = "ΑΒΓ-0402111";
  const std::string urdu_name = "کراچی ماربل ہاؤس";
  const std::string greek_name = "Ελληνική Εμπορική";
  {
    auto w = jet::DatabaseWriter::open(source);
    const auto& partners = w->table("tblSupplierBuyer");
    const auto& invoices = w->table("tblInvoice");
    for (const auto& [number, name] : {std::pair{urdu_number, urdu_name}, std::pair{greek_number, greek_name}}) {
      w->append(partners, {FieldValue("0301234500017"), FieldValue(number), FieldValue(name), FieldValue("Karachi"),
                           FieldValue("B")});
      auto invoice = w->new_row(invoices);
      invoice[0] = FieldValue("0301234500017");
      invoice[1] = FieldValue("202307");
      invoice[2] = FieldValue("S");
      invoice[3] = FieldValue(number == urdu_number ? "فاتورہ-۱۲" : "ΤΙΜ-Ω12");
      invoice[4] = FieldValue(DateTime{45125});
      invoice[5] = FieldValue(number);
      invoice[6] = FieldValue(Currency{170000});
      w->append(invoices, std::move(invoice));
    }
    w->close();
  }

  EXPECT_EQ(run.run(source.string(), destination.string()), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(run.SuccessCount(), 6);
  ASSERT_EQ(sink.shown.size(), 1u);
  // Only the long name of old-small is not stored; the rest of the details are the
  // account of old-small's own rows that do not arrive exactly once, and the backup.
  const auto& details = sink.shown[0].details;
  ASSERT_FALSE(details.empty());
  EXPECT_NE(details[0].find("0502222200014"), std::string::npos) << details[0];
  for (const std::string& line : details) {
    EXPECT_EQ(line.find(urdu_number), std::string::npos) << line;
    EXPECT_EQ(line.find(greek_number), std::string::npos) << line;
  }
  EXPECT_EQ(row_counts(destination), (std::vector<size_t>{2, 8, 17, 32, 53, 6, 9, 6, 12}));
  auto db = jet::Database::open(destination);
  Table partners = read_table(*db, "tblSupplierBuyer");
  EXPECT_EQ(partners.at({{"STRegNoSupplier", urdu_number}}, "SupplierName"), FieldValue(urdu_name));
  EXPECT_EQ(partners.at({{"STRegNoSupplier", greek_number}}, "SupplierName"), FieldValue(greek_name));
  Table invoices = read_table(*db, "tblInvoiceMtr");
  EXPECT_EQ(invoices.at({{"Supplier", greek_number}}, "buyer"), FieldValue(greek_name));
  EXPECT_EQ(invoices.at({{"Supplier", urdu_number}}, "buyer"), FieldValue(urdu_name));
  db.reset();
  expect_check_passes(destination);
}

TEST_F(FixtureRun, SecondRunStopsTheKeyedGroupsAndAppendsTheShippingBillsAgain) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_DATABASE(new_empty, "new-empty.mdb");
  auto destination = dir.copy_in(new_empty);
  run.run(old_small.string(), destination.string());
  auto first = row_counts(destination);
  sink.shown.clear();
  EXPECT_EQ(run.run(old_small.string(), destination.string()), TransferRun::Outcome::SomeMissing);
  EXPECT_EQ(sink.shown.back().text, "Some data missing...!");
  std::vector<std::string> errors;
  for (const auto& m : sink.shown)
    if (m.style == MessageStyle::Plain) errors.push_back(m.text);
  EXPECT_EQ(int(errors.size()), (6 - run.SuccessCount()) / 2) << "one message per stopped group";
  // Five groups find their first row's key taken; the shipping bill tables have no key.
  EXPECT_EQ(run.SuccessCount(), 1 - 5);
  first[7] *= 2, first[8] *= 2;
  EXPECT_EQ(row_counts(destination), first);
  expect_check_passes(destination);
}

}  // namespace
}  // namespace halvaro::test
