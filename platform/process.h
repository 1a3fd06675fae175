#pragma once
// The running process.

#include <cstdint>

namespace halvaro::platform {

uint64_t process_id();

// Hands the heap's free stretches back to the system, where its allocator can.
void trim_memory();

// The name of a signal that stops a run ("SIGINT", "SIGTERM", "SIGHUP" on POSIX,
// "SIGBREAK" on Windows), or nullptr for another number.
const char* stop_signal_name(int signal_number);

}  // namespace halvaro::platform
