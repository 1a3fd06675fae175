#include "platform/stop_requests.h"

#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>
#include <iterator>

namespace halvaro::platform {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
void (*stop_handler)(int) = nullptr;

void on_stop_signal(int signal_number) {
  if (stop_handler) stop_handler(signal_number);
}

// The files to remove on a signal, kept where a handler may read them.
char removed_first[PATH_MAX];
char removed_second[PATH_MAX];
// Signals that end the process by default and that a user or a pipeline may send.
constexpr int kFatalSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};
struct sigaction before_removal[std::size(kFatalSignals)];
bool removal_armed = false;

void remove_and_die(int signal_number) {
  // unlink, sigaction and raise are safe in a handler.
  if (removed_first[0]) ::unlink(removed_first);
  if (removed_second[0]) ::unlink(removed_second);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &fallback, nullptr);
  ::raise(signal_number);
}

void keep_path(char (&into)[PATH_MAX], const std::filesystem::path& path) {
  std::strncpy(into, path.c_str(), PATH_MAX - 1);
  into[PATH_MAX - 1] = '\0';
}

sigset_t fatal_set() {
  sigset_t set;
  ::sigemptyset(&set);
  for (int signal_number : kFatalSignals) ::sigaddset(&set, signal_number);
  return set;
}

sigset_t deferred_before;

}  // namespace

StopRequests::StopRequests(void (*on_stop)(int)) {
  stop_handler = on_stop;
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  ::sigemptyset(&action.sa_mask);
  // The second signal takes its default course; system calls resume after the first.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int signal_number : kStopSignals) ::sigaction(signal_number, &action, nullptr);
}

StopRequests::~StopRequests() {
  for (int signal_number : kStopSignals) std::signal(signal_number, SIG_DFL);
  stop_handler = nullptr;
}

void remove_on_fatal_signal(const std::filesystem::path& first, const std::filesystem::path& second) {
  keep_path(removed_first, first);
  keep_path(removed_second, second);
  struct sigaction action {};
  action.sa_handler = remove_and_die;
  ::sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
    ::sigaction(kFatalSignals[i], nullptr, &before_removal[i]);
    // A signal the caller ignores (nohup) stays ignored.
    if (before_removal[i].sa_handler != SIG_IGN) ::sigaction(kFatalSignals[i], &action, nullptr);
  }
  removal_armed = true;
}

void keep_on_fatal_signal() {
  if (!removal_armed) return;
  for (size_t i = 0; i < std::size(kFatalSignals); ++i) ::sigaction(kFatalSignals[i], &before_removal[i], nullptr);
  removed_first[0] = removed_second[0] = '\0';
  removal_armed = false;
}

FatalSignalsDeferred::FatalSignalsDeferred() {
  const sigset_t set = fatal_set();
  ::pthread_sigmask(SIG_BLOCK, &set, &deferred_before);
}

FatalSignalsDeferred::~FatalSignalsDeferred() { ::pthread_sigmask(SIG_SETMASK, &deferred_before, nullptr); }

}  // namespace halvaro::platform
