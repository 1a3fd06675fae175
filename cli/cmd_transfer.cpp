// halvaro transfer SOURCE.mdb DEST.mdb: the transfer run without the window. Messages
// are printed as they come; on a terminal a progress line per group shows rows done.

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "app/transfer_run.h"
#include "cli/command.h"
#include "cli/stop_signals.h"
#include "db/interruption.h"

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

  void progress(const app::Progress& progress) override {
    if (!terminal_) return;
    if (progress.group != group_) {
      end_progress_line();
      group_ = progress.group;
    }
    std::cout << "\r" << group_ << ": " << progress.done << " of " << progress.total << " rows" << std::flush;
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

Command setup(CLI::App& app) {
  auto* command = app.add_subcommand("transfer", "Move every record of an old-version database into a 5.1 "
                                                 "database (exit 0: all moved, 1: some data missing, 2: refused "
                                                 "or a file could not be opened)");
  auto source = std::make_shared<std::string>();
  auto destination = std::make_shared<std::string>();
  command->add_option("SOURCE", *source, "The old version's .mdb file (only read)")->required();
  command->add_option("DEST", *destination, "The version 5.1 .mdb file rows are appended to")->required();
  return {command, [source, destination] {
            ConsoleSink sink(::isatty(STDOUT_FILENO) == 1);
            app::TransferRun run(sink);
            const StopSignals stop_signals;
            const auto outcome = run.run(*source, *destination);
            if (const int signal_number = db::interruption_signal(); signal_number != 0)
              sink.show({std::string("The run was ") + db::interruption_name(signal_number) +
                             ": it stopped between two rows; what is listed above was not stored, "
                             "everything else was.",
                         app::MessageStyle::Plain, {}, {}});
            switch (outcome) {
              case app::TransferRun::Outcome::AllMoved: return 0;
              case app::TransferRun::Outcome::SomeMissing: return 1;
              case app::TransferRun::Outcome::Refused:
              case app::TransferRun::Outcome::OpenFailed: return 2;
            }
            return 2;
          }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
