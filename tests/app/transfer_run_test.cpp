#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/transfer_run.h"
#include "tests/support/fixtures.h"
#include "tests/transfers/fake_zelt.h"

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
    add_empty_sources(files.files["/old.mdb"]);
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
  std::filesystem::create_symlink(file, dir.path() / "link.mdb");
  std::filesystem::create_directory(dir.path() / "sub");
  EXPECT_TRUE(app::same_file(file.string(), (dir.path() / "sub" / ".." / "data.mdb").string()));
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
  for (const auto& [path, access] : files.opened)
    if (path == "/old.mdb") {
      EXPECT_EQ(access, db::Access::ReadOnly);
    }
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
  ASSERT_EQ(sink.shown[1].details.size(), 1u);
  EXPECT_NE(sink.shown[1].details[0].find("Suppliers and buyers"), std::string::npos);
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
  ASSERT_EQ(sink.shown[0].details.size(), 1u);
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

}  // namespace
}  // namespace halvaro::test
