#pragma once
// A copy of a database in the system's temporary folder for a dry run, removed (with the
// journal the engine keeps beside it) when the object dies, and also when the process is
// ended by SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE or SIGXFSZ. Only a SIGKILL can leave
// it behind, and then only in the temporary folder. (On Windows a stop request ends the
// run in order instead; see platform/stop_requests.h.)

#include <filesystem>
#include <stdexcept>

#include "app/file_copy.h"

namespace halvaro::app {

class ScratchCopyError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScratchCopy {
 public:
  // Copies `original` (and a journal a crashed writer left beside it, so the copy opens
  // as the original would), telling `progress` how far the copy is. Throws
  // ScratchCopyError. One scratch copy at a time.
  explicit ScratchCopy(const std::filesystem::path& original, const CopyProgress& progress = {});
  ~ScratchCopy();
  ScratchCopy(const ScratchCopy&) = delete;
  ScratchCopy& operator=(const ScratchCopy&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  void remove();

  std::filesystem::path path_;
};

}  // namespace halvaro::app
