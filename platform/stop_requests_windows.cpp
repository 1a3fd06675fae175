#include "platform/stop_requests.h"

#include <atomic>
#include <csignal>

#include "platform/windows_support.h"

namespace halvaro::platform {
namespace {

// Seconds a closing console waits for the run to stop; Windows itself ends the process
// five seconds after it asks.
constexpr DWORD kCloseWaitMs = 4500;

std::atomic<void (*)(int)> stop_handler{nullptr};
std::atomic<bool> interrupt_seen{false};
std::atomic<bool> break_seen{false};
std::atomic<bool> released{true};

BOOL WINAPI on_console_event(DWORD event) {
  void (*handler)(int) = stop_handler.load();
  if (!handler) return FALSE;
  switch (event) {
    case CTRL_C_EVENT:
      // FALSE hands a second Ctrl-C on to the default handler, which ends the process.
      if (interrupt_seen.exchange(true)) return FALSE;
      handler(SIGINT);
      return TRUE;
    case CTRL_BREAK_EVENT:
      if (break_seen.exchange(true)) return FALSE;
      handler(SIGBREAK);
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      handler(SIGTERM);
      // The process ends when this returns: give the run its time to stop between rows.
      for (DWORD waited = 0; !released.load() && waited < kCloseWaitMs; waited += 50) ::Sleep(50);
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace

StopRequests::StopRequests(void (*on_stop)(int)) {
  interrupt_seen = false;
  break_seen = false;
  released = false;
  stop_handler = on_stop;
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

StopRequests::~StopRequests() {
  ::SetConsoleCtrlHandler(on_console_event, FALSE);
  stop_handler = nullptr;
  released = true;
}

void remove_on_fatal_signal(const std::filesystem::path&, const std::filesystem::path&) {}
void keep_on_fatal_signal() {}
FatalSignalsDeferred::FatalSignalsDeferred() = default;
FatalSignalsDeferred::~FatalSignalsDeferred() = default;

}  // namespace halvaro::platform
