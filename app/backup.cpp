#include "app/backup.h"

#include <ctime>
#include <optional>

#include "app/file_copy.h"
#include "platform/file_system.h"
#include "platform/local_time.h"

namespace halvaro::app {
namespace {

// Names tried within one second before giving up.
constexpr int kAttempts = 100;

}  // namespace

std::filesystem::path backup_name(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when, int attempt) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const std::tm local = platform::local_time(seconds);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name = platform::utf8_of(destination.stem()) + ".backup-" + stamp;
  if (attempt > 0) name += "." + std::to_string(attempt);
  // In place of the destination's name, so that its folder keeps the separators it was
  // given in.
  std::filesystem::path backup = destination;
  backup.replace_filename(platform::path_from_utf8(name + platform::utf8_of(destination.extension())));
  return backup;
}

std::filesystem::path make_backup(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when, const CopyProgress& progress) {
  // Written under a temporary name and named only once whole and on the disk: a kill
  // part-way leaves no file that looks like a backup.
  std::optional<WholeFile> copy;
  try {
    copy.emplace(backup_name(destination, when, 0));
  } catch (const std::runtime_error& error) {
    throw BackupError(error.what());
  }
  uint64_t read_digest = 0;
  std::string failure = copy_into(destination, copy->file(), progress, &read_digest);
  if (!failure.empty()) throw BackupError("cannot write " + platform::utf8_of(copy->temporary()) + ": " + failure);
  // The copy as the disk gives it back must be the bytes read from the destination.
  if (file_digest(copy->temporary()) != read_digest)
    throw BackupError("the copy " + platform::utf8_of(copy->temporary()) + " does not read back as the bytes of " +
                      platform::utf8_of(destination) + " written to it");
  try {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      // A copy from an earlier run (or anything else of that name) stays as it is.
      std::filesystem::path target = backup_name(destination, when, attempt);
      if (copy->publish(target)) return target;
    }
  } catch (const std::runtime_error& error) {
    throw BackupError(error.what());
  }
  throw BackupError("cannot create a backup beside " + platform::utf8_of(destination) + ": every name is taken");
}

}  // namespace halvaro::app
