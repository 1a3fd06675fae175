// `halvaro check FILE.mdb`: verifies every table's usage maps, row count and rows,
// every index's order, tree, entries and uniqueness (system tables too) and the
// catalog's saved queries; prints each problem and exits 1 on any.

#include <iostream>

#include "cli/command.h"
#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "jet/catalog/database.h"
#include "jet/pages/journal.h"

namespace halvaro::cli {
namespace {

Command setup(CLI::App& app) {
  auto* cmd = app.add_subcommand("check", "Check a database's tables and indexes for damage");
  auto file = std::make_shared<std::string>();
  auto roll_back = std::make_shared<bool>(false);
  cmd->add_option("FILE", *file, "the database to check")->required()->check(existing_file());
  cmd->add_flag("--roll-back", *roll_back,
                "first restore the last commit of a write that was interrupted (its journal beside the file)");
  return {cmd, [file, roll_back] {
            switch (jet::journal_state(file_path(*file))) {
              case jet::JournalState::None: break;
              case jet::JournalState::Foreign:
                std::cout << jet::foreign_journal_message(file_path(*file)) << "\n";
                return 1;
              case jet::JournalState::Hot:
                if (!*roll_back) {
                  std::cout << *file << ": a write was interrupted and is not yet rolled back; run `halvaro "
                               "check --roll-back " << *file << "` to restore its last commit and check it\n";
                  return 1;
                }
                // Opening for writing rolls the interrupted commit back; nothing else is written.
                jet::DatabaseWriter::open(file_path(*file))->close();
                std::cout << *file << ": the interrupted write was rolled back to the last commit\n";
                break;
            }
            auto db = jet::Database::open(file_path(*file));
            auto report = jet::check_database(*db);
            for (const auto& p : report.problems) std::cout << p << "\n";
            std::cout << *file << ": " << report.tables << " tables, " << report.rows << " rows, "
                      << report.index_entries << " index entries"
                      << (report.unverified_entries == 0
                              ? std::string()
                              : " (" + std::to_string(report.unverified_entries) +
                                    " could not be verified: their text holds characters without sort codes)")
                      << ": "
                      << (report.ok() ? "no problems found" : std::to_string(report.problems.size()) + " problems")
                      << "\n";
            return report.ok() ? 0 : 1;
          }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
