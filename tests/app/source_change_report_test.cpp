// The saved report of a run whose old file changed while it was read says so first, in
// both of its forms, as the result box does.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

TEST(SourceChangeReport, TheSavedReportWarnsFirstInTextAndJson) {
  const std::string warning =
      "The old file changed while it was being read (its size changed), so the account may not match it.";
  for (const char* name : {"report.txt", "report.json"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    const fs::path old_file = dir.path() / "old.mdb";
    std::ofstream(old_file, std::ios::binary) << std::string(8192, 'o');
    FakeFiles files;
    add_fitting_sources(files.files[old_file.string()]);
    add_destination_tables(files.files["/new.mdb"]);
    ResultSink sink;
    app::TransferRun run(sink, files.opener());
    const fs::path report = dir.path() / name;
    run.set_report_path(report.string());
    // The backup is made once the source is checked and before the first group: another
    // program adds to the old file there (its time kept, so that only the size tells).
    run.set_safety({.backup = [&](const std::string&, const app::CopyProgress&) {
      const auto written = fs::last_write_time(old_file);
      std::ofstream(old_file, std::ios::binary | std::ios::app) << "more";
      fs::last_write_time(old_file, written);
      return std::string("/new.backup.mdb");
    }});
    EXPECT_EQ(run.run(old_file.string(), "/new.mdb"), app::TransferRun::Outcome::SomeMissing);
    ASSERT_FALSE(sink.shown.empty());
    ASSERT_FALSE(sink.shown.back().details.empty());
    EXPECT_EQ(sink.shown.back().details[0], warning);

    const std::string saved = file_bytes(report);
    const std::string expected = fs::path(name).extension() == ".json"
                                     ? "\"warnings\": [" + app::json_string(warning) + "]"
                                     : "Result:      Some data missing...!\nWarning:     " + warning + "\n";
    EXPECT_NE(saved.find(expected), std::string::npos) << saved;
  }
}

TEST(SourceChangeReport, AnUnchangedRunSavesNoWarning) {
  TempDir dir;
  const fs::path old_file = dir.path() / "old.mdb";
  std::ofstream(old_file, std::ios::binary) << std::string(8192, 'o');
  FakeFiles files;
  add_fitting_sources(files.files[old_file.string()]);
  add_destination_tables(files.files["/new.mdb"]);
  ResultSink sink;
  app::TransferRun run(sink, files.opener());
  const fs::path report = dir.path() / "report.json";
  run.set_report_path(report.string());
  EXPECT_EQ(run.run(old_file.string(), "/new.mdb"), app::TransferRun::Outcome::AllMoved);
  EXPECT_EQ(file_bytes(report).find("warnings"), std::string::npos);
}

}  // namespace
}  // namespace halvaro::test
