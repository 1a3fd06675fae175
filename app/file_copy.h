#pragma once
// The run's own file work: copying a file, writing a file whole or not at all beside
// its final name, and telling whether a file changed. The run's calls on the file
// system beyond the engine's are kept here.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <streambuf>
#include <system_error>
#include <vector>
#include <string>

#include "app/messages.h"
#include "platform/file.h"

namespace halvaro::app {

// Bytes copied so far and the file's size; called after each mebibyte.
using CopyProgress = std::function<void(uint64_t copied, uint64_t size)>;

// A digest of bytes in order (64 bits, not cryptographic): two files that differ in any
// byte or in length have different digests but by a chance of about 2^-64.
class ContentDigest {
 public:
  void add(const void* data, size_t size);
  uint64_t value() const;

 private:
  uint64_t state_ = 0x9e3779b97f4a7c15ULL;
  uint64_t length_ = 0;
  uint64_t pending_ = 0;  // the bytes of a word begun, the first lowest
  unsigned pending_bytes_ = 0;
};

// Copies every byte of `from` to the start of the open file `to` and syncs it. Returns "" on
// success, else the reason (e.g. "No space left on device"). `digest`, when given,
// receives the digest of the bytes read from `from`.
std::string copy_into(const std::filesystem::path& from, platform::File& to, const CopyProgress& progress = {},
                      uint64_t* digest = nullptr);

// The digest of a whole file as it reads now; empty when it cannot be read.
std::optional<uint64_t> file_digest(const std::filesystem::path& file);

// Passes a copy's progress to `sink` as `what`, in mebibytes begun (so the last step
// reads "21 of 21"), for files of 16 MiB or more; smaller ones copy too fast to show.
CopyProgress shown_copy_progress(MessageSink& sink, std::string what);

// A file written under a temporary name beside where it goes, and given its final name
// only once it is whole and on the disk, without replacing anything: a kill at any
// moment leaves either no file under the final name or a whole one. The temporary name
// is the final one followed by ".halvaro-<process id>.part", so that a temporary left
// by a killed process is known by its name and removed by the next one (see
// remove_stale_temporaries).
class WholeFile {
 public:
  // Removes the stale temporaries of the folder of `final_name`, then creates the
  // temporary. Throws std::runtime_error with the reason.
  explicit WholeFile(const std::filesystem::path& final_name);
  // Removes the temporary unless it was published.
  ~WholeFile();
  WholeFile(const WholeFile&) = delete;
  WholeFile& operator=(const WholeFile&) = delete;

  platform::File& file() { return file_; }
  const std::filesystem::path& temporary() const { return temporary_; }

  // Syncs the file and gives it the name `name` (in the same folder) unless that name
  // is taken: false then, and the temporary stays for another name. Syncs the folder.
  // Throws std::runtime_error with the reason when it cannot.
  bool publish(const std::filesystem::path& name);

 private:
  std::filesystem::path temporary_;
  platform::File file_;
  bool published_ = false;
};

// A stream buffer into an open file, from its start, in 64 KiB writes. `error()` is the
// first write's failure.
class FileBuffer : public std::streambuf {
 public:
  explicit FileBuffer(platform::File& file);
  ~FileBuffer() override;
  const std::error_code& error() const { return error_; }

 private:
  int_type overflow(int_type c) override;
  int sync() override;
  bool drain();

  platform::File& file_;
  std::vector<char> buffer_;
  uint64_t offset_ = 0;
  std::error_code error_;
};

// An output stream over a FileBuffer (its badbit set once a write failed).
class FileOutput : public std::ostream {
 public:
  explicit FileOutput(platform::File& file) : std::ostream(nullptr), buffer_(file) { rdbuf(&buffer_); }
  const std::error_code& error() const { return buffer_.error(); }

 private:
  FileBuffer buffer_;
};

// The temporary name of a file written whole for `final_name` by process `pid`.
std::filesystem::path temporary_name(const std::filesystem::path& final_name, uint64_t pid);

// Removes every temporary of `folder` whose process no longer runs. Errors are
// ignored: a temporary left is harmless and the next run tries again.
void remove_stale_temporaries(const std::filesystem::path& folder);

// What tells that a file changed: its device and inode (another file put in its
// place), its size and modification time, and a digest of its first page.
struct FileState {
  uint64_t device = 0;
  uint64_t inode = 0;
  uint64_t size = 0;
  int64_t modified_ns = 0;
  uint64_t header_digest = 0;
  bool operator==(const FileState&) const = default;
};

// The file's state now; empty when it cannot be read.
std::optional<FileState> file_state(const std::filesystem::path& file);

// How `after` differs from `before`, e.g. "its size and its modification time
// changed"; "" when it does not. A file that cannot be read (empty) differs.
std::string state_change(const FileState& before, const std::optional<FileState>& after);

}  // namespace halvaro::app
