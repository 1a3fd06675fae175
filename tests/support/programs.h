#pragma once
// Running the built programs and other tools from a test, without a shell between: the
// arguments reach the program as they are, whatever their letters or blanks, on POSIX
// and on Windows alike.

#include <string>
#include <vector>

namespace halvaro::test {

// Where a program's error output goes: to the test's own (shown), into the result's
// text after what it printed on standard output as it came (merged), or nowhere.
enum class ErrorOutput { shown, merged, dropped };

struct CommandResult {
  int status = -1;  // the exit status; -1 when the program could not start or was killed
  std::string out;
};

// Runs `program` (a path, or on POSIX a name looked up in PATH) with `arguments`.
CommandResult run_program(const std::string& program, const std::vector<std::string>& arguments,
                          ErrorOutput errors = ErrorOutput::shown);

// The halvaro executable built alongside the tests.
std::string halvaro_binary();

// Runs the built halvaro with `arguments`.
CommandResult run_halvaro(const std::vector<std::string>& arguments,
                          ErrorOutput errors = ErrorOutput::shown);

// Whether mdbtools' programs (mdb-export, mdb-schema, ...) can be run here: an independent
// reader of the files, installed on Linux, absent from the Windows build's runs.
bool mdbtools_available();

}  // namespace halvaro::test

// Skips the calling test, saying why, where mdbtools cannot be run.
#define HALVARO_REQUIRE_MDBTOOLS()                                                       \
  if (!::halvaro::test::mdbtools_available())                                           \
  GTEST_SKIP() << "mdbtools not found: the reading by another implementation is checked " \
               << "where its programs are installed (the Linux build)"
