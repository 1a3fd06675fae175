#include "db/interruption.h"

#include <csignal>

#include "platform/process.h"

namespace halvaro::db {
namespace {

volatile std::sig_atomic_t requested_signal = 0;

}  // namespace

void request_interruption(int signal_number) { requested_signal = signal_number; }
int interruption_signal() { return requested_signal; }
void clear_interruption() { requested_signal = 0; }

std::string interruption_name(int signal_number) {
  const char* name = platform::stop_signal_name(signal_number);
  return name ? std::string("interrupted by ") + name : "interrupted";
}

}  // namespace halvaro::db
