#include "platform/process.h"

#include <malloc.h>

#include <csignal>

#include "platform/windows_support.h"

namespace halvaro::platform {

uint64_t process_id() { return ::GetCurrentProcessId(); }

void trim_memory() { ::_heapmin(); }

const char* stop_signal_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGBREAK: return "SIGBREAK";
    default: return nullptr;
  }
}

}  // namespace halvaro::platform
