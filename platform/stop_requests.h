#pragma once
// The user's ways of stopping a console program, turned into a request to stop.

#include <filesystem>

namespace halvaro::platform {

// While an object lives, what would end the process (POSIX: SIGINT, SIGTERM, SIGHUP;
// Windows: Ctrl-C, Ctrl-Break, closing the console, logging off or shutting down)
// calls `on_stop` instead, with the signal's number (on Windows SIGINT, SIGBREAK or,
// for the last three, SIGTERM). `on_stop` may run in a signal handler or on a thread
// of the system's: it must only store the number. A second request of the same kind
// ends the process at once. When the console closes, Windows ends the process soon
// after it asks; the request waits a few seconds for the object to die (the run to
// stop) before it lets that happen. One object at a time.
class StopRequests {
 public:
  explicit StopRequests(void (*on_stop)(int signal_number));
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;
};

// Files to remove should a signal end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT,
// SIGPIPE, SIGXFSZ on POSIX), for scratch files in the temporary folder: removed, the
// signal then takes its default course. A signal the process ignores stays ignored.
// Windows ends a console program by none of these: a StopRequests object lets the run
// end in order, and the files go with it, so there this does nothing.
void remove_on_fatal_signal(const std::filesystem::path& first, const std::filesystem::path& second);
void keep_on_fatal_signal();

// While an object lives those signals wait, so that creating a scratch file and
// arming its removal happen as one step.
class FatalSignalsDeferred {
 public:
  FatalSignalsDeferred();
  ~FatalSignalsDeferred();
  FatalSignalsDeferred(const FatalSignalsDeferred&) = delete;
  FatalSignalsDeferred& operator=(const FatalSignalsDeferred&) = delete;
};

}  // namespace halvaro::platform
