#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "bench/process_usage.h"

extern char** environ;

namespace halvaro::bench {

namespace {

Usage usage_of(const rusage& r) {
  Usage usage;
  usage.cpu_seconds = static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
                      static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
  // Linux counts ru_maxrss in KiB.
  usage.peak_bytes = static_cast<uint64_t>(r.ru_maxrss) * 1024;
  return usage;
}

}  // namespace

Usage own_usage() {
  rusage r{};
  ::getrusage(RUSAGE_SELF, &r);
  return usage_of(r);
}

ChildRun run_child(const std::vector<std::string>& command) {
  ChildRun run;
  if (command.empty()) {
    run.error = "no program to run";
    return run;
  }
  std::vector<char*> argv;
  for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  // posix_spawn, not fork: a forked copy of this process would count towards the
  // child's peak, which the kernel carries across exec.
  pid_t pid = 0;
  if (int failed = ::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ)) {
    run.error = command[0] + ": " + std::strerror(failed);
    return run;
  }
  run.started = true;
  int status = 0;
  rusage r{};
  while (::wait4(pid, &status, 0, &r) < 0) {
    if (errno != EINTR) {
      run.error = std::string("wait4: ") + std::strerror(errno);
      return run;
    }
  }
  run.wall_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.usage = usage_of(r);
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run;
}

}  // namespace halvaro::bench
