#include "db/interruption.h"

#include <csignal>

namespace halvaro::db {
namespace {

volatile std::sig_atomic_t requested_signal = 0;

}  // namespace

void request_interruption(int signal_number) { requested_signal = signal_number; }
int interruption_signal() { return requested_signal; }
void clear_interruption() { requested_signal = 0; }

const char* interruption_name(int signal_number) {
  switch (signal_number) {
    case SIGINT: return "interrupted by SIGINT";
    case SIGTERM: return "interrupted by SIGTERM";
    case SIGHUP: return "interrupted by SIGHUP";
    default: return "interrupted";
  }
}

}  // namespace halvaro::db
