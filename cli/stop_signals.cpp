#include "cli/stop_signals.h"

#include <csignal>

#include "db/interruption.h"

namespace halvaro::cli {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void on_stop_signal(int signal_number) { db::request_interruption(signal_number); }

}  // namespace

StopSignals::StopSignals() {
  db::clear_interruption();
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  // The second signal takes its default course; system calls resume after the first.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int signal_number : kStopSignals) sigaction(signal_number, &action, nullptr);
}

StopSignals::~StopSignals() {
  for (int signal_number : kStopSignals) std::signal(signal_number, SIG_DFL);
}

}  // namespace halvaro::cli
