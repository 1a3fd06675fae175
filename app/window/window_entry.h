#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"

namespace halvaro::app {

// The transfer run as the window starts it.
TransferRunner transfer_runner();

// Shows the main window and runs the event loop until it is closed; a file given is
// offered to the window as the file the program was opened with.
int run_window(int argc, char** argv, const std::string& file = {});

// Whether the program's only argument is a file to open in the window (as a desktop
// entry passes it) rather than a command: not an option, not one of the command names,
// and an existing file or a name ending in ".mdb" in any letter case. Anything else
// goes to the command-line parser, which explains a mistyped command.
bool opens_window_with(std::string_view argument, const std::vector<std::string>& command_names);

}  // namespace halvaro::app
