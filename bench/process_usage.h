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
  // Whether the child was started; when not, `error` says why.
  bool started = false;
  std::string error;
  // The child's exit status: on POSIX 128 + the signal's number when a signal ended it,
  // on Windows the exit code as is (an NTSTATUS such as 0xC0000005 for a crash).
  int exit_status = 0;
  double wall_seconds = 0;
  Usage usage;
};

// Starts `command` (the program, searched for in PATH on POSIX, then its arguments) with
// this process's standard streams and waits for it to end.
ChildRun run_child(const std::vector<std::string>& command);

}  // namespace halvaro::bench
