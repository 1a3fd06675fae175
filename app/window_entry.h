#pragma once

namespace halvaro::app {

// Shows the main window and runs the event loop until it is closed.
int run_window(int argc, char** argv);

}  // namespace halvaro::app
