// Runs a command as a child process and prints what it used: wall seconds, processor
// seconds and its peak memory (the peak resident set on POSIX, the peak working set on
// Windows: what the system's own tools show a user).
//
//   bench_peak_memory PROGRAM [ARGUMENTS...]
//
// For example `bench_peak_memory halvaro transfer --no-backup OLD.mdb NEW.mdb`; the
// Windows build's program runs the same way under Wine. The child keeps the standard
// streams; the figures go to standard error as one line,
//   peak_memory: exit 0, 16.45 s, cpu 22.49 s, peak 125.3 MiB (131386368 bytes)
// and the program ends with the child's exit status (125 when it could not start it).

#include <cstdio>
#include <string>
#include <vector>

#include "bench/process_usage.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_peak_memory PROGRAM [ARGUMENTS...]\n");
    return 2;
  }
  const std::vector<std::string> command(argv + 1, argv + argc);
  const halvaro::bench::ChildRun run = halvaro::bench::run_child(command);
  if (!run.started) {
    std::fprintf(stderr, "peak_memory: %s\n", run.error.c_str());
    return 125;
  }
  // A Windows crash's code reads best in hexadecimal (0xc0000005).
  char status[16];
  if (run.exit_status < 0 || run.exit_status > 255) {
    std::snprintf(status, sizeof status, "0x%x", static_cast<unsigned>(run.exit_status));
  } else {
    std::snprintf(status, sizeof status, "%d", run.exit_status);
  }
  std::fprintf(stderr, "peak_memory: exit %s, %.2f s, cpu %.2f s, peak %.1f MiB (%llu bytes)\n", status,
               run.wall_seconds, run.usage.cpu_seconds, static_cast<double>(run.usage.peak_bytes) / (1 << 20),
               static_cast<unsigned long long>(run.usage.peak_bytes));
  return run.exit_status;
}
