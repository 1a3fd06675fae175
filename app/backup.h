#pragma once
// The copy of the destination that a run keeps beside it before its first write.

#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "app/file_copy.h"

namespace halvaro::app {

class BackupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "<folder>/<stem>.backup-YYYYMMDD-HHMMSS<.N><ext>" for local time `when`; attempt 0 has
// no ".N", attempt N > 0 has ".N".
std::filesystem::path backup_name(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when, int attempt);

// Copies the destination to the first backup name not taken (an existing file is never
// replaced) and returns the copy's path. The copy is made under a temporary name (see
// WholeFile), read back and compared with the bytes read from the destination, synced,
// and only then named, so that no kill leaves a partial copy under a backup's name.
// Throws BackupError naming the reason (no room, no permission, a copy that reads back
// otherwise, every name taken); the temporary is removed. `progress` hears how far the
// copy is.
std::filesystem::path make_backup(const std::filesystem::path& destination,
                                  std::chrono::system_clock::time_point when = std::chrono::system_clock::now(),
                                  const CopyProgress& progress = {});

}  // namespace halvaro::app
