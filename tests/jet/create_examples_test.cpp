// The example scripts build databases with exactly the schema the transfers expect:
// the same tables, columns, keys and views as the reference databases in the shared
// fixtures (compared through mdbtools and our reader).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "jet/create_script.h"
#include "jet/database.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::run_command;
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
  return run_command("mdb-schema --indexes '" + file.string() + "' postgres 2>/dev/null").out;
}

TEST(ExampleScripts, HaveTheSchemasOfTheReferenceDatabases) {
  HALVARO_REQUIRE_FIXTURE(old_small, "old-small.mdb");
  HALVARO_REQUIRE_FIXTURE(new_empty, "new-empty.mdb");
  const std::filesystem::path source_dir = std::filesystem::path(HALVARO_SOURCE_DIR);
  TempDir dir;
  auto old_version = build_schema(dir, source_dir / "examples" / "old-version.sql");
  auto new_version = build_schema(dir, source_dir / "examples" / "new-5.1.sql");
  EXPECT_EQ(schema_of(old_version), schema_of(old_small));
  EXPECT_EQ(schema_of(new_version), schema_of(new_empty));

  auto ours = Database::open(old_version);
  auto reference = Database::open(old_small);
  ASSERT_EQ(ours->query_names().size(), reference->query_names().size());
  for (const std::string& view : reference->query_names())
    EXPECT_EQ(ours->query_sql(view), reference->query_sql(view)) << view;
}

}  // namespace
}  // namespace halvaro::jet
