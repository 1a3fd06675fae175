// `halvaro create OUT.mdb SCRIPT.sql`: a new Access 2000 database built from a script
// of CREATE TABLE, CREATE INDEX, CREATE VIEW and INSERT statements.

#include <iostream>

#include "cli/command.h"
#include "sql/create_script.h"

namespace halvaro::cli {
namespace {

Command setup(CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "create", "Create a new Access 2000 (.mdb) database from a script of CREATE TABLE, CREATE "
                "INDEX, CREATE VIEW and INSERT statements");
  auto out = std::make_shared<std::string>();
  auto script = std::make_shared<std::string>();
  cmd->add_option("OUT", *out, "the database to create (must not exist)")->required();
  cmd->add_option("SCRIPT", *script, "the SQL script to run")->required()->check(existing_file());
  return {cmd, [out, script] {
            auto summary = sql::script::create_database(file_path(*out), file_path(*script));
            std::cout << "created " << *out << ": " << summary.tables << " tables, " << summary.views
                      << " views, " << summary.rows << " rows\n";
            return 0;
          }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
