#include "cli/open_window.h"

namespace halvaro::cli {

bool has_window() { return false; }

// Not called: without a window every invocation goes to the command-line parser.
int open_window(int, char**, const std::string&) { return 2; }

}  // namespace halvaro::cli
