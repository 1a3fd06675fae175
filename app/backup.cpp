#include "app/backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "app/file_copy.h"

namespace halvaro::app {
namespace {

// Names tried within one second before giving up.
constexpr int kAttempts = 100;

}  // namespace

std::filesystem::path backup_name(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when, int attempt) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  ::localtime_r(&seconds, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name = destination.stem().string() + ".backup-" + stamp;
  if (attempt > 0) name += "." + std::to_string(attempt);
  return destination.parent_path() / (name + destination.extension().string());
}

std::filesystem::path make_backup(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when, const CopyProgress& progress) {
  std::string last_reason;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    std::filesystem::path target = backup_name(destination, when, attempt);
    // O_EXCL: a copy from an earlier run (or anything else of that name) stays as it is.
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
      last_reason = std::strerror(errno);
      if (errno == EEXIST) continue;
      throw BackupError("cannot create " + target.string() + ": " + last_reason);
    }
    std::string failure = copy_into(destination, out, progress);
    if (::close(out) != 0 && failure.empty()) failure = std::strerror(errno);
    if (failure.empty()) return target;
    ::unlink(target.c_str());
    throw BackupError("cannot write " + target.string() + ": " + failure);
  }
  throw BackupError("cannot create a backup beside " + destination.string() + ": every name is taken (" +
                    last_reason + ")");
}

}  // namespace halvaro::app
