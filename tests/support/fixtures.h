#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/programs.h"

namespace halvaro::test {

// The shared fixtures folder, or an empty path when this checkout has none. The
// environment variable HALVARO_FIXTURES_DIR, where set, names it instead of the build's
// setting (point it at a missing folder to run the tests as a fresh clone does).
std::filesystem::path fixtures_dir();

// The top folder of this checkout (where examples/ is).
std::filesystem::path source_dir();

// The whole content of a file, to compare a file before and after.
std::string file_bytes(const std::filesystem::path& file);

// Damages a Jet 4 file: zeroes one data page of `table` (its first, or its last) and
// returns the page's number.
uint32_t zero_data_page(const std::filesystem::path& file, std::string_view table, bool last = false);

// The databases the build made with the program's own `create` (see
// tests/support/databases/): the two examples, and stand-ins holding the same tables
// and rows as old-small.mdb, new-empty.mdb and new-nonempty.mdb; and old-medium.mdb,
// the benchmarks' generated database with as many invoices as the shared one.
std::filesystem::path built_databases_dir();

// A test database by its fixture name: the shared fixture where present, otherwise the
// stand-in of that name the build made; empty when neither exists. A test reading
// the fixture checks our reader against bytes another Jet implementation wrote; on the
// stand-in the same test checks our writer and reader together.
std::filesystem::path database_path(std::string_view name);

// Declares `var` as the path of a fixture below the fixtures folder; skips the
// calling test (naming the file) when it is absent, as in a fresh clone.
#define HALVARO_REQUIRE_FIXTURE(var, relative)                                         \
  const std::filesystem::path var = ::halvaro::test::fixtures_dir() / (relative);      \
  if (::halvaro::test::fixtures_dir().empty() || !std::filesystem::exists(var))        \
  GTEST_SKIP() << "fixture " << (relative) << " not found: no ../shared/fixtures beside " \
               << "this checkout"

// Declares `var` as the path of a test database (see database_path); skips the calling
// test, naming the file, when there is none.
#define HALVARO_REQUIRE_DATABASE(var, name)                                             \
  const std::filesystem::path var = ::halvaro::test::database_path(name);              \
  if (var.empty())                                                                      \
  GTEST_SKIP() << "database " << (name) << " not found: neither in ../shared/fixtures " \
               << "nor built (build the target halvaro_test_databases)"

// A fresh temporary folder, removed with everything in it when the object dies.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // Copies a file into the folder (writable) and returns the copy's path.
  std::filesystem::path copy_in(const std::filesystem::path& file) const;

 private:
  std::filesystem::path path_;
};

}  // namespace halvaro::test
