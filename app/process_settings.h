#pragma once

namespace halvaro::app {

// Settings of the whole process that a transfer relies on, made once at start before
// any thread begins: the program's entry and the benchmark of the window's run both
// make them, so that the benchmark measures what a user runs.
void apply_process_settings();

}  // namespace halvaro::app
