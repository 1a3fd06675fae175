#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace halvaro::test {

// The shared fixtures folder, or an empty path when this checkout has none.
std::filesystem::path fixtures_dir();

// Declares `var` as the path of a fixture below the fixtures folder; skips the
// calling test (naming the file) when it is absent, as in a fresh clone.
#define HALVARO_REQUIRE_FIXTURE(var, relative)                                         \
  const std::filesystem::path var = ::halvaro::test::fixtures_dir() / (relative);      \
  if (!std::filesystem::exists(var))                                                    \
  GTEST_SKIP() << "fixture " << (relative) << " not found: no ../shared/fixtures beside " \
               << "this checkout"

// Text keys are written with Access's General sort codes, which the engine knows only
// for the characters its derivation from Access-written indexes has covered so far.
// Tests whose keys (or a new database's catalog names) need more skip until then.
bool sort_codes_cover(std::u16string_view text);
#define HALVARO_REQUIRE_SORT_CODES()                                                        \
  if (!::halvaro::test::sort_codes_cover(u"MSysObjectsQueriesACEsRelationshipsTablesDatabases" \
                                          u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz" \
                                          u"0123456789 -'_./"))                             \
  GTEST_SKIP() << "needs Access's General sort codes for every letter, digit and common "    \
               << "punctuation; the table derived so far covers only part of them"

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

// Runs a shell command, returning its exit status and what it printed on stdout.
struct CommandResult {
  int status = -1;
  std::string out;
};
CommandResult run_command(const std::string& command);

// The halvaro executable built alongside the tests.
std::string halvaro_binary();

}  // namespace halvaro::test
