#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/account_report.h"
#include "app/backup.h"
#include "app/dry_run.h"
#include "app/scratch_copy.h"
#include "app/transfer_run.h"
#include "jet/pages/journal.h"
#include "tests/app/backup_files.h"
#include "tests/app/fitting_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

TEST(Backup, EachRunGetsItsOwnCopyAndNoExistingFileIsReplaced) {
  TempDir dir;
  auto destination = dir.path() / "zelt.mdb";
  write_file(destination, "first state");
  auto when = local_moment(2024, 1, 2, 3, 4, 5);
  EXPECT_EQ(app::backup_name(destination, when, 0), dir.path() / "zelt.backup-20240102-030405.mdb");

  fs::path first = app::make_backup(destination, when);
  EXPECT_EQ(first, app::backup_name(destination, when, 0));
  EXPECT_EQ(file_bytes(first), "first state");

  // A second run within the same second keeps the first run's copy.
  write_file(destination, "second state");
  fs::path second = app::make_backup(destination, when);
  EXPECT_EQ(second, dir.path() / "zelt.backup-20240102-030405.1.mdb");
  EXPECT_EQ(file_bytes(first), "first state");
  EXPECT_EQ(file_bytes(second), "second state");
}

// A destination of tens of mebibytes takes a while to copy: the run shows how far its
// backup is, in whole mebibytes, up to the last; a small one goes unannounced.
TEST(Backup, ALargeDestinationsBackupShowsHowFarItIs) {
  TempDir dir;
  auto destination = dir.path() / "zelt.mdb";
  const uint64_t size = (20u << 20) + 5;
  fs::resize_file((write_file(destination, "head"), destination), size);
  std::vector<std::pair<uint64_t, uint64_t>> heard;
  fs::path copy = app::make_backup(destination, local_moment(2024, 1, 2, 3, 4, 5),
                                   [&](uint64_t copied, uint64_t total) { heard.emplace_back(copied, total); });
  EXPECT_EQ(fs::file_size(copy), size);
  ASSERT_EQ(heard.size(), 21u);
  EXPECT_EQ(heard.front(), std::make_pair(uint64_t{1} << 20, size));
  EXPECT_EQ(heard.back(), std::make_pair(size, size));

  struct ProgressSink : app::MessageSink {
    std::vector<app::Progress> seen;
    void show(const app::Message&) override {}
    void progress(const app::Progress& progress) override { seen.push_back(progress); }
  } sink;
  FakeFiles files;
  add_fitting_sources(files.files["/old.mdb"]);
  add_destination_tables(files.files["/new.mdb"]);
  app::TransferRun run(sink, files.opener());
  run.set_safety({.backup = [&](const std::string& from, const app::CopyProgress& progress) {
    for (const auto& [copied, total] : heard) progress(copied, total);
    progress(1000, 1000);  // a small destination's copy: not shown
    return from + ".backup";
  }});
  run.run("/old.mdb", "/new.mdb");
  std::vector<std::pair<long long, long long>> shown;
  for (const app::Progress& step : sink.seen) {
    if (step.work != app::Progress::Work::CopyingFile) continue;
    EXPECT_EQ(step.group, "Backing up the destination");
    shown.emplace_back(step.done, step.total);
  }
  ASSERT_EQ(shown.size(), 21u);
  EXPECT_EQ(shown.front(), std::make_pair(1LL, 21LL));
  EXPECT_EQ(shown.back(), std::make_pair(21LL, 21LL));
}

TEST(Backup, ACopyThatCannotBeWrittenFailsWithItsReasonAndLeavesNothing) {
  TempDir dir;
  auto destination = dir.path() / "zelt.mdb";
  write_file(destination, "state");
  auto when = local_moment(2024, 1, 2, 3, 4, 5);
  // Every name the copy could take is held by something else.
  for (int attempt = 0; attempt < 100; ++attempt) fs::create_directory(app::backup_name(destination, when, attempt));
  try {
    app::make_backup(destination, when);
    FAIL() << "no error";
  } catch (const app::BackupError& error) {
    EXPECT_NE(std::string(error.what()).find("every name is taken"), std::string::npos) << error.what();
  }
  // A folder that is not there.
  try {
    app::make_backup(dir.path() / "gone" / "zelt.mdb", when);
    FAIL() << "no error";
  } catch (const app::BackupError& error) {
    EXPECT_NE(std::string(error.what()).find("No such file or directory"), std::string::npos) << error.what();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 101);
}

struct RecordingSink : app::MessageSink {
  std::vector<app::Message> shown;
  std::vector<std::string> notes;
  void show(const app::Message& message) override { shown.push_back(message); }
  void note(const std::string& line) override { notes.push_back(line); }
};

TEST(Backup, ARunWhoseBackupFailsIsRefusedBeforeAnyWrite) {
  FakeFiles files;
  FakeFile& old_file = files.files["/old.mdb"];
  add_fitting_sources(old_file);
  add_destination_tables(files.files["/new.mdb"]);
  const db::Stage& partners = transfers::supplier_buyer_group().stages[0];
  std::vector<std::string> columns = app::master_columns_read(partners);
  old_file.add_result(std::string(partners.source), columns, {std::vector<FieldValue>(columns.size(), "1")});

  RecordingSink sink;
  app::TransferRun run(sink, files.opener());
  std::string asked;
  run.set_safety({.backup = [&](const std::string& destination, const app::CopyProgress&) -> std::string {
    asked = destination;
    throw app::BackupError("cannot write /zelt.backup.mdb: No space left on device");
  }});
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), app::TransferRun::Outcome::Unfit);
  EXPECT_EQ(asked, "/new.mdb");
  EXPECT_TRUE(files.files["/new.mdb"].table("tblSupplierBuyer").rows.empty());
  ASSERT_EQ(sink.shown.size(), 1u);
  EXPECT_EQ(sink.shown[0].text, "The destination could not be backed up; nothing was written...!");
  EXPECT_EQ(sink.shown[0].style, app::MessageStyle::Stop);
  EXPECT_EQ(sink.shown[0].details,
            (std::vector<std::string>{"cannot write /zelt.backup.mdb: No space left on device"}));

  // With a backup made, its name is noted at once and listed with the result.
  sink.shown.clear();
  run.set_safety({.backup = [](const std::string&, const app::CopyProgress&) { return std::string("/zelt.backup-1.mdb"); }});
  EXPECT_EQ(run.run("/old.mdb", "/new.mdb"), app::TransferRun::Outcome::AllMoved);
  EXPECT_EQ(sink.notes, (std::vector<std::string>{"Backup of the destination: /zelt.backup-1.mdb"}));
  EXPECT_EQ(sink.shown.back().details,
            (std::vector<std::string>{"Backup of the destination before this run: /zelt.backup-1.mdb"}));
  EXPECT_EQ(files.files["/new.mdb"].table("tblSupplierBuyer").rows.size(), 1u);
}

// The scratch copy of a dry run.

TEST_F(ScratchCopyTest, TheCopyLivesInTheTemporaryFolderWithAHotJournalAndGoesWithTheObject) {
  {
    app::ScratchCopy scratch(original);
    EXPECT_EQ(scratch.path().parent_path(), temp_dir.path());
    EXPECT_EQ(file_bytes(scratch.path()), file_bytes(original));
    write_file(jet::journal_path(scratch.path()), "journal the engine made");
  }
  EXPECT_TRUE(files_in(temp_dir.path()).empty());
  EXPECT_THROW(app::ScratchCopy(original_dir.path() / "none.mdb"), app::ScratchCopyError);
  EXPECT_TRUE(files_in(temp_dir.path()).empty());
}

// A dry run's copy of a large destination shows how far it is, like a backup.
TEST_F(ScratchCopyTest, ALargeDestinationsCopyForADryRunShowsHowFarItIs) {
  fs::resize_file(original, (20u << 20) + 5);
  struct ProgressSink : app::MessageSink {
    std::vector<app::Progress> seen;
    void show(const app::Message&) override {}
    void progress(const app::Progress& progress) override { seen.push_back(progress); }
  } sink;
  // The source is missing: the run stops after the copy is made.
  EXPECT_EQ(app::dry_run(sink, (original_dir.path() / "old.mdb").string(), original.string(), "", nullptr),
            app::TransferRun::Outcome::OpenFailed);
  ASSERT_EQ(sink.seen.size(), 21u);
  for (const app::Progress& step : sink.seen) {
    EXPECT_EQ(step.group, "Copying the destination for the dry run");
    EXPECT_EQ(step.work, app::Progress::Work::CopyingFile);
  }
  EXPECT_EQ(sink.seen.back().done, 21);
  EXPECT_EQ(sink.seen.back().total, 21);
  EXPECT_TRUE(files_in(temp_dir.path()).empty());
}

TEST(WholeOrAbsent, DigestsDoNotDependOnHowTheBytesAreSplit) {
  const std::string bytes = patterned(1000);
  app::ContentDigest whole, pieces;
  whole.add(bytes.data(), bytes.size());
  for (size_t at = 0, step = 1; at < bytes.size(); at += step, step = step % 13 + 1)
    pieces.add(bytes.data() + at, std::min(step, bytes.size() - at));
  EXPECT_EQ(whole.value(), pieces.value());
  app::ContentDigest shorter, changed;
  shorter.add(bytes.data(), bytes.size() - 1);
  std::string one_bit = bytes;
  one_bit[500] ^= 1;
  changed.add(one_bit.data(), one_bit.size());
  EXPECT_NE(shorter.value(), whole.value());
  EXPECT_NE(changed.value(), whole.value());
}

}  // namespace
}  // namespace halvaro::test
