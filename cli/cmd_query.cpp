// `halvaro query FILE.mdb "SQL"`: evaluates a SELECT statement (or a table or saved
// query name) over an old or new database and prints the result as CSV.

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/csv_writer.h"
#include "jet/catalog/database.h"
#include "sql/query_engine.h"

namespace halvaro::cli {
namespace {

struct QueryOptions {
  std::string file;
  std::string sql;
};

int run_query(const QueryOptions& options) {
  std::shared_ptr<const jet::Database> database = jet::Database::open(file_path(options.file));
  sql::QueryEngine engine(database);
  // A stored result keeps its rows past the first few thousand in a temporary file:
  // a view of millions of rows is printed without holding it.
  sql::StoredResult result = engine.execute_stored(options.sql);
  CsvWriter writer(std::cout);
  std::vector<std::string> names;
  for (const auto& column : result.columns) names.push_back(column.name);
  writer.write_header(names);
  for (size_t i = 0; i < result.rows.size(); ++i) writer.write_row(result.rows.row(i));
  std::cout.flush();
  return 0;
}

Command setup(CLI::App& app) {
  auto options = std::make_shared<QueryOptions>();
  CLI::App* parser = app.add_subcommand(
      "query", "Evaluate an Access SQL SELECT statement (or a table or saved query name) and print the rows as CSV");
  parser->add_option("file", options->file, "The .mdb file")->required()->check(existing_file());
  parser->add_option("sql", options->sql, "The statement, e.g. \"Select * from VwPurchaseDebitMtr\"")->required();
  return {parser, [options] { return run_query(*options); }};
}

const bool registered = register_command(setup);

}  // namespace
}  // namespace halvaro::cli
