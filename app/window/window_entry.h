#pragma once

#include <string>

#include "app/window/main_window.h"

namespace halvaro::app {

// The transfer run as the window starts it.
TransferRunner transfer_runner();

// Shows the main window and runs the event loop until it is closed; a file given is
// offered to the window as the file the program was opened with.
int run_window(int argc, char** argv, const std::string& file = {});

}  // namespace halvaro::app
