#include "app/scratch_copy.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>

#include "app/file_copy.h"
#include "jet/pages/journal.h"

namespace halvaro::app {
namespace {

// The files to remove on a signal, kept where a handler may read them.
char scratch_file[PATH_MAX];
char scratch_journal[PATH_MAX];
// Signals that end the process by default and that a user or a pipeline may send.
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGXFSZ};
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];

void remove_scratch_and_die(int signal_number) {
  // unlink, sigaction and raise are safe in a handler.
  if (scratch_file[0]) ::unlink(scratch_file);
  if (scratch_journal[0]) ::unlink(scratch_journal);
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &fallback, nullptr);
  ::raise(signal_number);
}

void copy_path(char (&into)[PATH_MAX], const std::filesystem::path& path) {
  std::strncpy(into, path.c_str(), PATH_MAX - 1);
  into[PATH_MAX - 1] = '\0';
}

void arm_cleanup(const std::filesystem::path& file) {
  copy_path(scratch_file, file);
  copy_path(scratch_journal, jet::journal_path(file));
  struct sigaction action {};
  action.sa_handler = remove_scratch_and_die;
  ::sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &previous[i]);
    // A signal the caller ignores (nohup) stays ignored.
    if (previous[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
  }
}

void disarm_cleanup() {
  for (size_t i = 0; i < std::size(kSignals); ++i) ::sigaction(kSignals[i], &previous[i], nullptr);
  scratch_file[0] = scratch_journal[0] = '\0';
}

// Copies `from` into a new file at `to`; "" or the reason it could not.
std::string copy_to_new(const std::filesystem::path& from, const std::filesystem::path& to) {
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return "cannot create " + to.string() + ": " + std::strerror(errno);
  std::string failure = copy_into(from, out);
  ::close(out);
  return failure;
}

}  // namespace

ScratchCopy::ScratchCopy(const std::filesystem::path& original, const CopyProgress& progress) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(original, error))
    throw ScratchCopyError("\"" + original.string() + "\": no such database file");
  std::string pattern = (std::filesystem::temp_directory_path(error) / "halvaro-dry-run-XXXXXX.mdb").string();
  if (error) throw ScratchCopyError("no temporary folder: " + error.message());
  // The signals wait while the file is made and its cleanup armed: one arriving between
  // the two would end the process by default and leave the empty copy behind.
  sigset_t stop_signals, before;
  ::sigemptyset(&stop_signals);
  for (int signal_number : kSignals) ::sigaddset(&stop_signals, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &stop_signals, &before);
  int fd = ::mkstemps(pattern.data(), 4);
  if (fd >= 0) {
    path_ = pattern;
    // Armed before the first byte is copied, so an interrupted copy is removed too.
    arm_cleanup(path_);
  }
  const int failed = errno;
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (fd < 0)
    throw ScratchCopyError("cannot create a scratch copy in the temporary folder: " +
                           std::string(std::strerror(failed)));
  std::string failure = copy_into(original, fd, progress);
  // The original's permissions, so a read-only destination is refused as it would be.
  struct stat original_stat {};
  if (failure.empty() && ::stat(original.c_str(), &original_stat) == 0)
    ::fchmod(fd, original_stat.st_mode & 07777);
  ::close(fd);
  if (failure.empty() && jet::has_hot_journal(original))
    failure = copy_to_new(jet::journal_path(original), jet::journal_path(path_));
  if (!failure.empty()) {
    remove();
    throw ScratchCopyError("cannot copy " + original.string() + " to the temporary folder: " + failure);
  }
}

ScratchCopy::~ScratchCopy() { remove(); }

void ScratchCopy::remove() {
  if (path_.empty()) return;
  ::unlink(path_.c_str());
  ::unlink(jet::journal_path(path_).c_str());
  disarm_cleanup();
  path_.clear();
}

}  // namespace halvaro::app
