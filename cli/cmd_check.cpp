// `halvaro check FILE.mdb`: verifies every table's usage maps, row count and rows,
// every index's order, tree, entries and uniqueness (system tables too) and the
// catalog's saved queries; prints each problem and exits 1 on any.

#include <iostream>

#include "cli/command.h"
#include "jet/writer/checker.h"
#include "jet/catalog/database.h"
#include "jet/pages/journal.h"

namespace halvaro::cli {
namespace {

Command setup(CLI::App& app) {
  auto* cmd = app.add_subcommand("check", "Check a database's tables and indexes for damage");
  auto file = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "the database to check")->required()->check(CLI::ExistingFile);
  return {cmd, [file] {
            if (jet::has_hot_journal(*file)) {
              std::cout << *file << ": a write was interrupted; open the file for writing once "
                           "(e.g. with `halvaro exec`) to roll it back, then check again\n";
              return 1;
            }
            auto db = jet::Database::open(*file);
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
