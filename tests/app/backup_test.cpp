#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/account_report.h"
#include "app/backup.h"
#include "app/dry_run.h"
#include "app/scratch_copy.h"
#include "app/transfer_run.h"
#include "jet/pages/journal.h"
#include "tests/app/fitting_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

void write_file(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::chrono::system_clock::time_point utc(int year, int month, int day, int hour, int minute, int second) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  std::tm parts{};
  parts.tm_year = year - 1900, parts.tm_mon = month - 1, parts.tm_mday = day;
  parts.tm_hour = hour, parts.tm_min = minute, parts.tm_sec = second;
  return std::chrono::system_clock::from_time_t(::timegm(&parts));
}

TEST(Backup, EachRunGetsItsOwnCopyAndNoExistingFileIsReplaced) {
  TempDir dir;
  auto destination = dir.path() / "zelt.mdb";
  write_file(destination, "first state");
  auto when = utc(2024, 1, 2, 3, 4, 5);
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
  fs::path copy = app::make_backup(destination, utc(2024, 1, 2, 3, 4, 5),
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
  auto when = utc(2024, 1, 2, 3, 4, 5);
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

std::vector<fs::path> files_in(const fs::path& dir) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(dir)) found.push_back(entry.path());
  return found;
}

struct ScratchCopyTest : ::testing::Test {
  TempDir original_dir, temp_dir;
  fs::path original = original_dir.path() / "zelt.mdb";
  std::string saved_tmpdir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
  void SetUp() override {
    write_file(original, std::string(10000, 'z'));
    ::setenv("TMPDIR", temp_dir.path().c_str(), 1);
  }
  void TearDown() override {
    if (saved_tmpdir.empty()) ::unsetenv("TMPDIR");
    else ::setenv("TMPDIR", saved_tmpdir.c_str(), 1);
  }
};

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

TEST_F(ScratchCopyTest, AnEndingSignalRemovesTheCopy) {
  for (int signal_number : {SIGTERM, SIGINT}) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      app::ScratchCopy scratch(original);
      write_file(jet::journal_path(scratch.path()), "journal");
      char done = 1;
      if (::write(ready[1], &done, 1) != 1) ::_exit(3);
      ::raise(signal_number);
      ::_exit(4);  // not reached: the signal ends the process
    }
    char done = 0;
    ASSERT_EQ(::read(ready[0], &done, 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
    EXPECT_TRUE(files_in(temp_dir.path()).empty());
  }
  EXPECT_EQ(file_bytes(original), std::string(10000, 'z'));
}

// Whole or absent: a kill at any moment leaves under a final name either nothing or the
// whole file, and the next run removes what the killed process left.

// Runs `work` in a child process that kills itself part-way; returns the child's id.
template <typename Work>
pid_t killed_child(Work work) {
  pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);  // not reached when the kill comes
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  return child;
}

std::string patterned(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
  return bytes;
}

TEST(WholeOrAbsent, ABackupKilledWhileCopiedLeavesNoTornCopyAndTheNextRunClearsUp) {
  TempDir dir;
  const fs::path destination = dir.path() / "zelt.mdb";
  const uint64_t size = (5u << 20) + 5;
  write_file(destination, patterned(size));
  const auto when = utc(2024, 1, 2, 3, 4, 5);
  const fs::path final_name = app::backup_name(destination, when, 0);
  // A temporary of a process that still runs is not the next run's to remove.
  const fs::path running = app::temporary_name(final_name, 1);
  write_file(running, "another process's copy under way");

  // After the first and third mebibyte, and with every byte written but not yet synced.
  for (uint64_t kill_at : {uint64_t{1} << 20, uint64_t{3} << 20, size}) {
    SCOPED_TRACE(kill_at);
    const pid_t child = killed_child([&] {
      app::make_backup(destination, when, [&](uint64_t copied, uint64_t) {
        if (copied >= kill_at) ::raise(SIGKILL);
      });
    });
    EXPECT_FALSE(fs::exists(final_name));
    const fs::path left = app::temporary_name(final_name, child);
    ASSERT_TRUE(fs::exists(left)) << "the killed copy is known by its name";
    EXPECT_EQ(fs::file_size(left), std::min<uint64_t>(size, (kill_at + (1u << 20) - 1) & ~uint64_t{(1u << 20) - 1}));
  }

  // The next run makes its copy whole under the name, and removes the killed ones'.
  const fs::path copy = app::make_backup(destination, when);
  EXPECT_EQ(copy, final_name);
  EXPECT_EQ(file_bytes(copy), file_bytes(destination));
  EXPECT_EQ(files_in(dir.path()).size(), 3u);  // the destination, its backup, the running one's
  EXPECT_TRUE(fs::exists(running));
}

TEST(WholeOrAbsent, AReportKilledWhileWrittenLeavesNoTornReportAndNeverReplacesOne) {
  TempDir dir;
  app::RunReport report;
  report.result = "Some data missing...!";
  for (int i = 0; i < 2500; ++i) report.not_stored.push_back("tblInvoiceMtr.InvoiceNo: value " + std::to_string(i));
  const fs::path path = dir.path() / "new-report-20240102-030405.txt";

  // Part-way, and with every line written and flushed but the file not yet named.
  for (uint64_t kill_at : {uint64_t{1024}, uint64_t{2500}}) {
    SCOPED_TRACE(kill_at);
    const pid_t child = killed_child([&] {
      app::write_report(path.string(), report, [&](uint64_t written, uint64_t) {
        if (written >= kill_at) ::raise(SIGKILL);
      });
    });
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(fs::exists(app::temporary_name(path, child)));
  }

  app::write_report(path.string(), report);
  EXPECT_EQ(file_bytes(path), app::report_text(report));
  EXPECT_EQ(files_in(dir.path()), std::vector<fs::path>{path});

  // A file under the name stays as it is.
  report.result = "All data moved successfully...!";
  try {
    app::write_report(path.string(), report);
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    EXPECT_EQ(std::string(error.what()),
              "Could not write the report " + path.string() + ": a file of that name is there already");
  }
  EXPECT_NE(file_bytes(path), app::report_text(report));
  EXPECT_EQ(files_in(dir.path()).size(), 1u);
}

// The copy is read back and compared with the bytes read from the destination.
TEST(WholeOrAbsent, ACopyThatDoesNotReadBackAsTheDestinationIsNoBackup) {
  TempDir dir;
  const fs::path destination = dir.path() / "zelt.mdb";
  write_file(destination, patterned((3u << 20) + 7));
  const auto when = utc(2024, 1, 2, 3, 4, 5);
  const fs::path temporary = app::temporary_name(app::backup_name(destination, when, 0), ::getpid());
  try {
    // A fault of the disk or of another program, while the copy is written.
    app::make_backup(destination, when, [&](uint64_t copied, uint64_t) {
      if (copied == uint64_t{1} << 20) std::fstream(temporary, std::ios::binary | std::ios::in | std::ios::out) << "X";
    });
    FAIL() << "no error";
  } catch (const app::BackupError& error) {
    EXPECT_NE(std::string(error.what()).find("does not read back as the bytes of " + destination.string()),
              std::string::npos)
        << error.what();
  }
  EXPECT_EQ(files_in(dir.path()), std::vector<fs::path>{destination});
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
