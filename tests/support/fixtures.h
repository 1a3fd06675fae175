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
