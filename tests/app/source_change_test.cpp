// Another program writes to the old file while the run reads it: the run cannot end in
// success, and says why, first in the result and in the saved report. The change is made between the source's check and the groups
// (where the backup is made), on a real file behind fake stores.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/file_copy.h"
#include "app/transfer_run.h"
#include "tests/app/fitting_files.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

namespace fs = std::filesystem;

struct ResultSink : app::MessageSink {
  std::vector<app::Message> shown;
  void show(const app::Message& message) override { shown.push_back(message); }
};

// Sets the file's modification time back to what it was, so that only the change
// under test shows.
void keep_time(const fs::path& file, fs::file_time_type before) {
  std::error_code error;
  fs::last_write_time(file, before, error);
  ASSERT_FALSE(error) << error.message();
}

TEST(SourceChange, AnOldFileChangedWhileItIsReadCannotEndInSuccess) {
  TempDir dir;
  const fs::path old_file = dir.path() / "old.mdb";
  std::ofstream(old_file, std::ios::binary) << std::string(8192, 'o');
  FakeFiles files;
  add_fitting_sources(files.files[old_file.string()]);
  add_destination_tables(files.files["/new.mdb"]);
  ResultSink sink;
  app::TransferRun run(sink, files.opener());
  const fs::path report = dir.path() / "report.txt";
  run.set_report_path(report.string());
  EXPECT_EQ(run.run(old_file.string(), "/new.mdb"), app::TransferRun::Outcome::AllMoved);
  EXPECT_EQ(file_bytes(report).find("Warning:"), std::string::npos);

  struct Change {
    const char* told;
    std::function<void(fs::file_time_type)> make;
  };
  const Change changes[] = {
      {"its modification time changed",
       [&](fs::file_time_type before) { keep_time(old_file, before + std::chrono::seconds(5)); }},
      {"its size changed",
       [&](fs::file_time_type before) {
         std::ofstream(old_file, std::ios::binary | std::ios::app) << "more";
         keep_time(old_file, before);
       }},
      {"its header page changed",
       [&](fs::file_time_type before) {
         std::fstream(old_file, std::ios::binary | std::ios::in | std::ios::out) << "x";
         keep_time(old_file, before);
       }},
      {"its device and inode changed",
       [&](fs::file_time_type before) {
         const fs::path other = dir.path() / "other.mdb";
         fs::copy_file(old_file, other);
         fs::rename(other, old_file);
         keep_time(old_file, before);
       }},
  };
  int runs = 0;
  for (const Change& change : changes) {
    SCOPED_TRACE(change.told);
    sink.shown.clear();
    // Each form of the report in turn.
    const bool as_json = ++runs % 2 == 1;
    const fs::path saved = dir.path() / ("report-" + std::to_string(runs) + (as_json ? ".json" : ".txt"));
    run.set_report_path(saved.string());
    // The backup is made once the source is checked and before the first group.
    run.set_safety({.backup = [&](const std::string&, const app::CopyProgress&) {
      change.make(fs::last_write_time(old_file));
      return std::string("/new.backup.mdb");
    }});
    EXPECT_EQ(run.run(old_file.string(), "/new.mdb"), app::TransferRun::Outcome::SomeMissing);
    ASSERT_FALSE(sink.shown.empty());
    const app::Message& result = sink.shown.back();
    EXPECT_EQ(result.text, "Some data missing...!");
    ASSERT_FALSE(result.details.empty());
    const std::string warning = std::string("The old file changed while it was being read (") + change.told +
                                "), so the account may not match it.";
    EXPECT_EQ(result.details[0], warning);
    const std::string expected = as_json ? "\"warnings\": [" + app::json_string(warning) + "]"
                                         : "Result:      Some data missing...!\nWarning:     " + warning + "\n";
    EXPECT_NE(file_bytes(saved).find(expected), std::string::npos) << file_bytes(saved);
  }
}

TEST(SourceChange, WhatTellsAChangeIsNamed) {
  const app::FileState before{1, 2, 3, 4, 5};
  EXPECT_EQ(app::state_change(before, before), "");
  EXPECT_EQ(app::state_change(before, std::nullopt), "it can no longer be read");
  EXPECT_EQ(app::state_change(before, app::FileState{1, 2, 9, 8, 5}), "its size and its modification time changed");
  EXPECT_EQ(app::state_change(before, app::FileState{7, 2, 9, 8, 6}),
            "its device and inode, its size, its modification time and its header page changed");
}

}  // namespace
}  // namespace halvaro::test
