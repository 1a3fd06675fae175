#pragma once

#include "app/main_window.h"

namespace halvaro::app {

// The transfer run as the window starts it.
TransferRunner transfer_runner();

// Shows the main window and runs the event loop until it is closed.
int run_window(int argc, char** argv);

}  // namespace halvaro::app
