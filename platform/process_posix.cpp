#include "platform/process.h"

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <cerrno>
#include <csignal>

namespace halvaro::platform {

uint64_t process_id() { return static_cast<uint64_t>(::getpid()); }

bool process_runs(uint64_t id) { return ::kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH; }

void apply_process_settings() {
  // Past a file-size limit a write fails (and the writer rolls back) instead of the
  // process being killed half way through a commit.
  std::signal(SIGXFSZ, SIG_IGN);
#ifdef __GLIBC__
  // A transfer's helper threads (item queries evaluated ahead, table pages decoded,
  // stages accounted for) free what the run's thread allocated and the other way round.
  // With an arena per thread glibc spread the heap over arenas it kept, and a million
  // invoices peaked anywhere from 230 to 293 MiB; one arena keeps the peak where the
  // bounds put it. (Two arenas spared the threads some waiting on the arena's lock, but
  // a helper's large allocations landed in either arena, by glibc's choice, and the peak
  // moved up to 254 MiB.)
  ::mallopt(M_ARENA_MAX, 1);
#endif
}

void trim_memory() {
#ifdef __GLIBC__
  ::malloc_trim(0);
#endif
}

const char* stop_signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    default: return nullptr;
  }
}

}  // namespace halvaro::platform
