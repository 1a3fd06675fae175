#include "platform/process.h"

#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <csignal>

namespace halvaro::platform {

uint64_t process_id() { return static_cast<uint64_t>(::getpid()); }

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
