#pragma once
// What the program's one argument means when it is not a command.

#include <string>
#include <string_view>
#include <vector>

namespace halvaro::app {

// Whether the program's only argument is a file to open in the window (as a desktop
// entry passes it) rather than a command: not an option, not one of the command names,
// and an existing file or a name ending in ".mdb" in any letter case. Anything else
// goes to the command-line parser, which explains a mistyped command.
bool opens_window_with(std::string_view argument, const std::vector<std::string>& command_names);

}  // namespace halvaro::app
