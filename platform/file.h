#pragma once
// Layer platform: what differs between POSIX and Windows, one header per concern and
// one implementation file per platform (*_posix.cpp, *_windows.cpp). Everything above
// it sees only these headers.
//
// File is an open file, named by a std::filesystem::path (on Windows opened through
// the wide-character calls, so that any path works). Each call that can fail takes a
// std::error_code and says in its result whether it succeeded; errors are in the
// generic category wherever a POSIX errno names them (Windows errors are mapped to
// the same std::errc), so a message reads the same on both systems.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>
#include <system_error>

namespace halvaro::platform {

// Which file this is, whatever path names it: device and inode on POSIX, the
// volume's serial number and the file index on Windows.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

class File {
 public:
  enum class Mode {
    // Reading. On Windows others may read too but not write while it is open, and a
    // file another program holds open for writing is refused (device_or_resource_busy).
    read,
    // Reading a file without keeping anyone from writing it (a look at a file that
    // may be open elsewhere, this program's writer included).
    peek,
    // Reading and writing an existing file. On Windows others may only read it while it
    // is open; a file another program holds open is refused (device_or_resource_busy).
    read_write,
    // As read_write, creating the file (mode 0644 on POSIX) when it does not exist.
    create_or_open,
    // As read_write, on a file it creates; an existing one is refused (file_exists).
    create_new,
  };

  File() = default;
  // The file at `path`; a folder is refused with is_a_directory. On failure the
  // result is not open() and `error` says why.
  static File open(const std::filesystem::path& path, Mode mode, std::error_code& error);
  // A new file in `folder`, named from `stem`, open for reading and writing and
  // already deleted as far as others can see: nothing is left behind however the
  // process ends (on Windows the file is deleted when its handle closes).
  static File temporary(const std::filesystem::path& folder, std::string_view stem, std::error_code& error);

  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool is_open() const;
  void close();

  // Takes the writer's lock: one writer at a time, whichever program it is. Refused
  // with device_or_resource_busy when another holds it. On POSIX an advisory flock,
  // released when the file closes; on Windows the share mode of read_write already
  // keeps every other writer out.
  bool lock_for_writing(std::error_code& error);

  // Reads `size` bytes at `offset` whole, however many calls that takes. Returns the
  // bytes read: fewer than `size` when the file ends first (error then clear) or on
  // an error.
  size_t read_at(void* data, size_t size, uint64_t offset, std::error_code& error) const;
  // Writes `size` bytes at `offset` whole.
  bool write_at(const void* data, size_t size, uint64_t offset, std::error_code& error);
  // Writes the parts one after another from `offset`, whole, in as few calls as the
  // system allows.
  bool write_gathered(std::span<const std::span<const uint8_t>> parts, uint64_t offset, std::error_code& error);

  // The file's length in bytes; 0 with `error` set when it cannot be read.
  uint64_t size(std::error_code& error) const;
  bool truncate(uint64_t size, std::error_code& error);
  // Whether it is a regular file (not a device, pipe or the like).
  bool is_regular(std::error_code& error) const;
  bool identity(FileIdentity& out, std::error_code& error) const;

  // Flushes the file's data (and what reading it back needs) to the disk.
  bool sync_data(std::error_code& error);
  // Flushes the data and all of the file's metadata.
  bool sync_all(std::error_code& error);

  // The system's handle (a descriptor on POSIX, a HANDLE on Windows), for mapping.
  intptr_t native() const { return handle_; }

 private:
  explicit File(intptr_t handle) : handle_(handle) {}
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;
};

}  // namespace halvaro::platform
