// `halvaro exec FILE.mdb SCRIPT.sql`: appends the rows of a script of INSERT
// statements; stops at the first refused row, printing why, with exit status 1.

#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/command.h"
#include "sql/insert_script.h"

namespace halvaro::cli {
namespace {

Command setup(CLI::App& app) {
  auto* cmd = app.add_subcommand("exec", "Append rows to a Jet 4 database from a script of INSERT statements");
  auto file = std::make_shared<std::string>();
  auto script = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "the database to append to")->required()->check(existing_file());
  cmd->add_option("SCRIPT", *script, "the INSERT statements to run")->required()->check(existing_file());
  return {cmd, [file, script] {
            std::ifstream in(file_path(*script), std::ios::binary);
            std::stringstream text;
            text << in.rdbuf();
            auto writer = jet::DatabaseWriter::open(file_path(*file));
            sql::script::InsertSummary summary;
            try {
              summary = sql::script::run_insert_script(*writer, text.str());
            } catch (const jet::JetError& e) {
              writer->close();
              throw jet::JetError(*script + ": " + e.what());
            }
            writer->close();
            if (!summary.refusal.empty()) {
              std::cout << *script << ": line " << summary.refused_line << ": row refused: " << summary.refusal
                        << "\n"
                        << summary.rows << " rows appended before it\n";
              return 1;
            }
            std::cout << summary.rows << " rows appended to " << *file << "\n";
            return 0;
          }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
