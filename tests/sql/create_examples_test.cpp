// The example scripts build databases with exactly the schema the transfers expect:
// the same tables, columns, keys and views as the reference databases in the shared
// fixtures (compared through mdbtools and our reader).

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

#include "sql/create_script.h"
#include "jet/catalog/database.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using namespace sql::script;

using test::TempDir;

// Builds the definitions of a script (its rows are left out: they need the writer).
std::filesystem::path build_schema(const TempDir& dir, const std::filesystem::path& script_path) {
  std::ifstream in(script_path);
  std::stringstream text;
  text << in.rdbuf();
  CreateScript script;
  parse_create_script(text.str(), script);
  auto out = dir.path() / (script_path.stem().string() + ".mdb");
  script.builder.write(out);
  return out;
}

std::string schema_of(const std::filesystem::path& file) {
  return test::run_program("mdb-schema", {"--indexes", file.string(), "postgres"}, test::ErrorOutput::dropped).out;
}

// The tables as our reader sees them: each column's name, type, size and whether it is
// required, and each index's kind and columns (not its name), in a stable order.
std::string schema_read(const Database& db) {
  std::ostringstream out;
  auto names = db.table_names();
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const TableDef& table = db.table(name);
    out << name << "\n";
    for (const Column& c : table.columns)
      out << "  " << c.name << " " << static_cast<int>(c.type) << " " << c.size << " " << int{c.precision} << ","
          << int{c.scale} << (c.autonumber ? " autonumber" : "") << (c.required ? " required" : "") << "\n";
    std::multiset<std::string> indexes;
    for (const Index& index : table.indexes) {
      if (index.foreign) continue;
      std::string shape = index.primary ? "primary" : index.unique ? "unique" : "index";
      for (const IndexColumn& column : index.columns)
        shape += " " + table.columns.at(column.column).name + (column.ascending ? "" : " desc");
      indexes.insert(shape);
    }
    for (const std::string& shape : indexes) out << "  " << shape << "\n";
  }
  return out.str();
}

TEST(ExampleScripts, HaveTheSchemasOfTheReferenceDatabases) {
  HALVARO_REQUIRE_FIXTURE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_FIXTURE(new_empty, "new-empty.mdb");
  const std::filesystem::path source_dir = test::source_dir();
  TempDir dir;
  auto old_version = build_schema(dir, source_dir / "examples" / "old-version.sql");
  auto new_version = build_schema(dir, source_dir / "examples" / "new-5.1.sql");

  auto ours = Database::open(old_version);
  auto reference = Database::open(old_small);
  EXPECT_EQ(schema_read(*ours), schema_read(*reference));
  EXPECT_EQ(schema_read(*Database::open(new_version)), schema_read(*Database::open(new_empty)));
  ASSERT_EQ(ours->query_names().size(), reference->query_names().size());
  for (const std::string& view : reference->query_names())
    EXPECT_EQ(ours->query_sql(view), reference->query_sql(view)) << view;

  HALVARO_REQUIRE_MDBTOOLS();
  EXPECT_EQ(schema_of(old_version), schema_of(old_small));
  EXPECT_EQ(schema_of(new_version), schema_of(new_empty));
}

}  // namespace
}  // namespace halvaro::jet
