#pragma once
// Whole runs over old-version databases built at test time from the example schema plus
// a few rows: the run, its account and the exit code of the command line.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/transfer_run.h"
#include "jet/catalog/database.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {

namespace fs = std::filesystem;

inline const fs::path kExamples = fs::path(HALVARO_SOURCE_DIR) / "examples";

// The tables and views of an example script, without its invented rows.
inline std::string schema_of(const fs::path& script) {
  std::ifstream in(script);
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  return all.substr(0, all.find("\nINSERT INTO"));
}

struct RecordingSink : app::MessageSink {
  std::vector<app::Message> shown;
  void show(const app::Message& message) override { shown.push_back(message); }
};

constexpr const char* kClaimant =
    "INSERT INTO tblClaimantInfo (STRegNo, ClaimantName) VALUES ('3277876543210', 'Ravi Textile Mills');\n"
    "INSERT INTO tblClaimantTaxPeriod (STRegNo, Taxperiod, TaxPeriodType) VALUES ('3277876543210', '202401', "
    "'Monthly');\n";

struct OldVersionRun : ::testing::Test {
  TempDir dir;
  RecordingSink sink;
  app::TransferRun run{sink};
  fs::path source, empty, destination;
  int built = 0;

  // Builds the old database from the schema plus `rows`, and an empty 5.1 database
  // (with `extra` statements added to its schema) with a copy to transfer into.
  void build(const std::string& rows, const std::string& extra = {}) {
    build_from(schema_of(kExamples / "old-version.sql"), rows, extra);
  }
  // The same from an old schema of the test's own (views written otherwise).
  void build_from(const std::string& old_schema, const std::string& rows, const std::string& extra = {}) {
    const std::string n = std::to_string(++built);
    source = create("old" + n + ".mdb", old_schema + "\n" + kClaimant + rows);
    empty = create("new" + n + ".mdb", schema_of(kExamples / "new-5.1.sql") + "\n" + extra);
    destination = dir.path() / ("destination" + n + ".mdb");
    fs::copy_file(empty, destination);
  }
  fs::path create(const std::string& name, const std::string& script) {
    fs::path script_path = dir.path() / (name + ".sql");
    std::ofstream(script_path) << script;
    fs::path out = dir.path() / name;
    auto result = run_halvaro({"create", out.string(), script_path.string()}, ErrorOutput::merged);
    EXPECT_EQ(result.status, 0) << result.out;
    return out;
  }

  // No backup: the destinations are fresh copies, and the result lists only the account.
  app::TransferRun::Outcome transfer() {
    run.set_safety({});
    return run.run(source.string(), destination.string());
  }
  // The command line over a fresh copy of the same pair: its exit code.
  int exit_code(const std::string& report_name = "report.json") {
    fs::path copy = dir.path() / "again.mdb";
    // Removed first, not overwritten: the Windows build's std::filesystem takes any two
    // files of one drive for one file and refuses to overwrite either with the other.
    fs::remove(copy);
    fs::copy_file(empty, copy);
    fs::remove(dir.path() / report_name);  // a report never replaces a file
    return run_halvaro({"transfer", source.string(), copy.string(), "--report", (dir.path() / report_name).string()})
        .status;
  }

  const db::SourceAccount& source_named(const std::string& name) {
    for (const auto& s : run.report().account.sources)
      if (s.name == name) return s;
    throw std::out_of_range(name);
  }
  std::vector<std::string> reasons(const db::ListedRows& rows) {
    std::vector<std::string> out;
    rows.for_each([&](const db::ListedRow& row) { out.push_back(row.reason); });
    return out;
  }
  const db::TotalLine& total(const std::string& source_name, const std::string& column) {
    for (const auto& line : run.report().account.totals)
      if (line.source == source_name && line.column == column) return line;
    throw std::out_of_range(source_name + "." + column);
  }
  size_t rows_in(const std::string& table) {
    auto db = jet::Database::open(destination);
    size_t n = 0;
    db->scan(db->table(table), [&](auto) { return ++n, true; });
    return n;
  }
};

inline void expect_exact(const db::ExactNumber& n, const std::string& text) { EXPECT_EQ(db::to_string(n), text); }

}  // namespace halvaro::test
