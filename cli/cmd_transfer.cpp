// halvaro transfer [--dry-run] [--no-backup] [--report FILE] SOURCE.mdb DEST.mdb: the
// transfer run without the window. Messages are printed as they come; on a terminal a
// progress line per group shows rows done. The report (JSON for a .json name, text
// otherwise) holds the account of every source row and the totals.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "app/dry_run.h"
#include "app/transfer_run.h"
#include "cli/command.h"
#include "db/interruption.h"
#include "platform/console.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"

namespace halvaro::cli {
namespace {

class ConsoleSink final : public app::MessageSink {
 public:
  explicit ConsoleSink(bool terminal) : terminal_(terminal) {}
  ~ConsoleSink() override { end_progress_line(); }

  void show(const app::Message& message) override {
    end_progress_line();
    std::string title = message.title.empty() ? "" : message.title + ": ";
    std::cout << title << message.text << "\n";
    for (const std::string& line : message.details) std::cout << "  " << line << "\n";
    std::cout.flush();
  }

  void note(const std::string& line) override {
    end_progress_line();
    std::cout << line << "\n" << std::flush;
  }

  void progress(const app::Progress& progress) override {
    if (!terminal_) return;
    if (progress.group != group_) {
      end_progress_line();
      group_ = progress.group;
    }
    std::cout << "\r" << group_ << ": " << app::progress_count(progress) << std::flush;
    line_open_ = true;
  }

 private:
  void end_progress_line() {
    if (line_open_) std::cout << "\n";
    line_open_ = false;
  }

  bool terminal_;
  bool line_open_ = false;
  std::string group_;
};

// Why the report cannot be written where asked, or "" when it can. Checked before the
// run, so a report that cannot be saved never follows a transfer.
std::string report_problem(const std::string& report, const std::string& source, const std::string& destination) {
  namespace fs = std::filesystem;
  const fs::path path = file_path(report);
  for (const std::string& data : {source, destination}) {
    if (report == data || platform::same_file(path, file_path(data)))
      return "The report file can not be the source or destination file...!";
  }
  if (fs::is_directory(path)) return "Could not write the report " + report + ": it is a folder";
  // A report is saved whole under its name or not at all, never in place of a file.
  std::error_code error;
  if (fs::exists(fs::symlink_status(path, error)))
    return "Could not write the report " + report + ": a file of that name is there already";
  fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::error_code error_in_folder;
  if (!fs::is_directory(folder, error_in_folder))
    return "Could not write the report " + report + ": " +
           std::make_error_code(std::errc::no_such_file_or_directory).message();
  if (!platform::is_writable(folder))
    return "Could not write the report " + report + ": " + std::make_error_code(std::errc::permission_denied).message();
  return {};
}

Command setup(CLI::App& app) {
  auto* command = app.add_subcommand("transfer", "Move every record of an old-version database into a 5.1 "
                                                 "database (exit 0: all moved, 1: some data missing, 2: refused, "
                                                 "a file could not be opened, is damaged or lacks what the "
                                                 "transfer uses, or no backup could be made)");
  auto source = std::make_shared<std::string>();
  auto destination = std::make_shared<std::string>();
  auto dry = std::make_shared<bool>(false);
  auto no_backup = std::make_shared<bool>(false);
  auto report = std::make_shared<std::string>();
  command->add_option("SOURCE", *source, "The old version's .mdb file (only read)")->required();
  command->add_option("DEST", *destination, "The version 5.1 .mdb file rows are appended to")->required();
  command->add_flag("--dry-run", *dry,
                    "Run against a scratch copy of DEST in the temporary folder: the same messages and exit "
                    "code, DEST unchanged");
  command->add_flag("--no-backup", *no_backup,
                    "Keep no copy of DEST (by default DEST.backup-DATE-TIME.mdb is made beside it before "
                    "the first write)");
  command->add_option("--report", *report,
                      "Save the account of every source row and the totals (JSON for a .json name, text "
                      "otherwise) in a new file of that name");
  return {command, [source, destination, dry, no_backup, report] {
            ConsoleSink sink(platform::output_is_terminal());
            if (!report->empty()) {
              if (std::string problem = report_problem(*report, *source, *destination); !problem.empty()) {
                sink.show({problem, app::MessageStyle::Stop, "Halvaro: File Error", {}});
                return 2;
              }
            }
            app::TransferRun::Outcome outcome;
            bool report_failed = false;
            db::clear_interruption();
            {
              // A stop request stops the run between two rows (a second one ends the
              // process: the journal keeps the file whole). While a dry run's scratch copy
              // exists, a POSIX signal removes it and ends the process instead.
              const platform::StopRequests stop_requests(db::request_interruption);
              if (*dry) {
                outcome = app::dry_run(sink, *source, *destination, *report, &report_failed);
              } else {
                app::TransferRun run(sink);
                if (*no_backup) run.set_safety({});
                run.set_report_path(*report);
                // Rows past those printed are named in a report beside the destination.
                run.set_long_account_report(app::report_path_beside(*destination, local_now()));
                outcome = run.run(*source, *destination);
                report_failed = run.report_failed();
              }
            }
            if (const int signal_number = db::interruption_signal(); signal_number != 0)
              sink.show({std::string("The run was ") + db::interruption_name(signal_number) +
                             ": it stopped between two rows; what is listed above was not stored, "
                             "everything else was.",
                         app::MessageStyle::Plain, {}, {}});
            switch (outcome) {
              case app::TransferRun::Outcome::AllMoved: return report_failed ? 1 : 0;
              case app::TransferRun::Outcome::SomeMissing: return 1;
              case app::TransferRun::Outcome::Refused:
              case app::TransferRun::Outcome::OpenFailed:
              case app::TransferRun::Outcome::Unfit: return 2;
            }
            return 2;
          }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
