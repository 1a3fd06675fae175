#pragma once
// What a process used: its processor time and its peak memory, for this process and for
// a child the benchmark starts and waits for. One implementation a system
// (process_usage_posix.cpp, process_usage_windows.cpp; bench/CMakeLists.txt picks it).

#include <cstdint>
#include <string>
#include <vector>

namespace halvaro::bench {

struct Usage {
  // User and system (kernel) time together.
  double cpu_seconds = 0;
  // The peak resident set (POSIX: ru_maxrss) or peak working set (Windows:
  // PROCESS_MEMORY_COUNTERS.PeakWorkingSetSize), in bytes.
  uint64_t peak_bytes = 0;
};

// This process so far.
Usage own_usage();

struct ChildRun {
  // The child's exit status (POSIX: 128 + the signal's number when a signal ended it);
  // -1 when it could not be started, `error` then saying why.
  int exit_status = -1;
  std::string error;
  double wall_seconds = 0;
  Usage usage;
};

// Starts `command` (the program, searched for in PATH on POSIX, then its arguments) with
// this process's standard streams and waits for it to end.
ChildRun run_child(const std::vector<std::string>& command);

}  // namespace halvaro::bench
