#pragma once
// The running process.

#include <cstdint>

namespace halvaro::platform {

uint64_t process_id();
// Whether the process `id` runs (or may: one that cannot be asked counts as running).
bool process_runs(uint64_t id);

// Settings the whole process keeps, made once at its start (see the implementations).
void apply_process_settings();

// Hands the heap's free stretches back to the system, where its allocator can.
void trim_memory();

// How a message names what stopped a run: "SIGINT", "SIGTERM", "SIGHUP" on POSIX;
// "Ctrl-C", "Ctrl-Break" and "closing the console" (SIGINT, SIGBREAK, SIGTERM, see
// stop_requests.h) on Windows; nullptr for another number.
const char* stop_signal_name(int signal_number);

}  // namespace halvaro::platform
