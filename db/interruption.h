#pragma once
// A request to stop the run, made by a signal handler (SIGINT, SIGTERM, SIGHUP on the
// command line; SIGBREAK on Windows). The copy procedure looks at it before each step, so a run stops at a
// clean point: between rows, with every row either stored whole or not at all.

#include <string>

namespace halvaro::db {

// Async-signal-safe: only stores the signal's number.
void request_interruption(int signal_number);
// The signal that asked the run to stop, or 0.
int interruption_signal();
void clear_interruption();

// "interrupted by SIGINT" and the like, for messages.
std::string interruption_name(int signal_number);

}  // namespace halvaro::db
