// `halvaro dump`: look inside an Access file without Access.
//   halvaro dump FILE.mdb              tables with their row counts, then saved queries
//   halvaro dump FILE.mdb TABLE...     each table as CSV with a header row, one after another
//   halvaro dump FILE.mdb --sql QUERY  a saved query's SQL text

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command.h"
#include "cli/csv_writer.h"
#include "jet/catalog/database.h"

namespace halvaro::cli {

namespace {

struct DumpOptions {
  std::string file;
  std::vector<std::string> tables;
  std::string query;
};

std::unique_ptr<jet::Database> open_database(const std::string& file) {
  std::error_code error;
  const std::filesystem::path path = file_path(file);
  if (!std::filesystem::exists(path, error))
    throw std::runtime_error("no such file: " + file);
  if (std::filesystem::is_directory(path, error))
    throw std::runtime_error(file + " is a folder, not an Access database file");
  return jet::Database::open(path);
}

void list_contents(const jet::Database& db) {
  std::cout << "Tables:\n";
  for (const auto& name : db.table_names()) {
    uint32_t rows = db.table(name).row_count;
    std::cout << "  " << name << "  " << rows << (rows == 1 ? " row\n" : " rows\n");
  }
  std::cout << "Queries:\n";
  for (const auto& name : db.query_names()) std::cout << "  " << name << "\n";
}

// Every name is looked up before anything is printed, so a misspelt one prints nothing.
void print_tables(const jet::Database& db, const std::vector<std::string>& names) {
  std::vector<const jet::TableDef*> tables;
  for (const auto& name : names) {
    const jet::TableDef* table = db.find_table(name);
    if (!table)
      throw std::runtime_error("no table named " + name + " in " + db.path().string() +
                               " (run `halvaro dump FILE` to list them)");
    tables.push_back(table);
  }
  CsvWriter csv(std::cout);
  for (const jet::TableDef* table : tables) {
    std::vector<std::string> header;
    for (const auto& column : table->columns) header.push_back(column.name);
    csv.write_header(header);
    db.scan(*table, [&csv](std::span<const FieldValue> values) {
      csv.write_row(values);
      return true;
    });
  }
}

bool same_name(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

void print_query(const jet::Database& db, const std::string& name) {
  auto names = db.query_names();
  bool known = std::any_of(names.begin(), names.end(),
                           [&name](const std::string& query) { return same_name(query, name); });
  if (!known)
    throw std::runtime_error("no saved query named " + name + " in " + db.path().string() +
                             " (run `halvaro dump FILE` to list them)");
  std::cout << db.query_sql(name) << "\n";
}

int run_dump(const DumpOptions& options) {
  auto db = open_database(options.file);
  if (!options.query.empty()) {
    print_query(*db, options.query);
  } else if (!options.tables.empty()) {
    print_tables(*db, options.tables);
  } else {
    list_contents(*db);
  }
  std::cout.flush();
  return 0;
}

Command setup(CLI::App& app) {
  auto options = std::make_shared<DumpOptions>();
  CLI::App* sub = app.add_subcommand(
      "dump", "List an Access file's tables and saved queries, print a table as CSV, or print "
              "a saved query's SQL");
  sub->add_option("file", options->file, "The .mdb file (only read)")->required();
  auto* table = sub->add_option("table", options->tables, "Tables to print as CSV");
  sub->add_option("--sql", options->query, "A saved query whose SQL to print")->excludes(table);
  return {sub, [options] { return run_dump(*options); }};
}

const bool registered = register_command(setup);

}  // namespace

}  // namespace halvaro::cli
