#include "app/scratch_copy.h"

#include <random>
#include <string>

#include "app/file_copy.h"
#include "jet/pages/journal.h"
#include "platform/file_system.h"
#include "platform/stop_requests.h"

namespace halvaro::app {
namespace {

// A new file in `folder` named halvaro-dry-run-XXXXXX.mdb, as mkstemps would name it.
platform::File create_scratch(const std::filesystem::path& folder, std::filesystem::path& path,
                              std::error_code& error) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device seed;
  std::mt19937_64 pick(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "halvaro-dry-run-";
    for (int i = 0; i < 6; ++i) name += kLetters[pick() % (sizeof kLetters - 1)];
    path = folder / (name + ".mdb");
    platform::File file = platform::File::open(path, platform::File::Mode::create_new, error);
    if (file.is_open() || error != std::errc::file_exists) return file;
  }
  return {};
}

// Copies `from` into a new file at `to`; "" or the reason it could not.
std::string copy_to_new(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::error_code error;
  platform::File out = platform::File::open(to, platform::File::Mode::create_new, error);
  if (!out.is_open()) return "cannot create " + platform::utf8_of(to) + ": " + error.message();
  return copy_into(from, out);
}

}  // namespace

ScratchCopy::ScratchCopy(const std::filesystem::path& original, const CopyProgress& progress) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(original, error))
    throw ScratchCopyError("\"" + platform::utf8_of(original) + "\": no such database file");
  const std::filesystem::path folder = platform::temporary_folder(error);
  if (error) throw ScratchCopyError("no temporary folder: " + error.message());
  platform::File file;
  {
    // The signals wait while the file is made and its cleanup armed: one arriving between
    // the two would end the process by default and leave the empty copy behind.
    const platform::FatalSignalsDeferred deferred;
    std::filesystem::path made;
    file = create_scratch(folder, made, error);
    if (file.is_open()) {
      path_ = made;
      // Armed before the first byte is copied, so an interrupted copy is removed too.
      platform::remove_on_fatal_signal(path_, jet::journal_path(path_));
    }
  }
  if (!file.is_open())
    throw ScratchCopyError("cannot create a scratch copy in the temporary folder: " + error.message());
  std::string failure = copy_into(original, file, progress);
  file.close();
  // The original's permissions, so a read-only destination is refused as it would be.
  if (failure.empty()) {
    const auto permissions = std::filesystem::status(original, error).permissions();
    if (!error) std::filesystem::permissions(path_, permissions, error);
  }
  if (failure.empty() && jet::has_hot_journal(original))
    failure = copy_to_new(jet::journal_path(original), jet::journal_path(path_));
  if (!failure.empty()) {
    remove();
    throw ScratchCopyError("cannot copy " + platform::utf8_of(original) + " to the temporary folder: " + failure);
  }
}

ScratchCopy::~ScratchCopy() { remove(); }

void ScratchCopy::remove() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_write, std::filesystem::perm_options::add,
                               ignored);
  std::filesystem::remove(path_, ignored);
  std::filesystem::remove(jet::journal_path(path_), ignored);
  platform::keep_on_fatal_signal();
  path_.clear();
}

}  // namespace halvaro::app
