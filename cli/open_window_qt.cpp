#include "app/window/window_entry.h"
#include "cli/open_window.h"

namespace halvaro::cli {

bool has_window() { return true; }

int open_window(int argc, char** argv, const std::string& file) { return app::run_window(argc, argv, file); }

}  // namespace halvaro::cli
