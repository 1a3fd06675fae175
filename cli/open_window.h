#pragma once
// The window, where this build has one.

#include <string>

namespace halvaro::cli {

// Whether this build has the window (the Qt one); without it, the program run with no
// arguments prints its help.
bool has_window();

// Shows the window until it is closed, offering it `file` (see app::opens_window_with).
int open_window(int argc, char** argv, const std::string& file = {});

}  // namespace halvaro::cli
