#pragma once
// What a command-line program gets from the system and shows on its console.

#include <string>
#include <vector>

namespace halvaro::platform {

// The program's arguments as UTF-8, whatever their letters: on POSIX `argv` itself; on
// Windows the wide command line (argv there holds the arguments in the ANSI code page,
// where a letter outside it is lost).
std::vector<std::string> command_line_arguments(int argc, char** argv);

// Whether standard output is a terminal or console (for lines redrawn in place).
bool output_is_terminal();

// While an object lives, text written as UTF-8 shows as such in the console: on
// Windows the console's output code page is UTF-8 until the object dies; POSIX
// terminals take UTF-8 already. Output to a file or pipe is UTF-8 bytes either way.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  [[maybe_unused]] unsigned int previous_code_page_ = 0;  // Windows only
};

}  // namespace halvaro::platform
