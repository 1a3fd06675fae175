#include "jet/pages/page_source.h"

#include "jet/pages/journal.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "jet/base/errors.h"
#include "jet/pages/header.h"

namespace halvaro::jet {

void PageSource::throw_out_of_range(uint32_t n) const {
  throw CorruptData("page " + std::to_string(n) + " is beyond the end of the file (" +
                    std::to_string(page_count()) + " pages)");
}

namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what) {
  throw JetError(path.string() + ": " + what);
}

}  // namespace

std::shared_ptr<FilePageSource> FilePageSource::open(const std::filesystem::path& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) fail(path, std::string("cannot open: ") + std::strerror(errno));
  // A writer that died in the middle of a commit left pages half written; its
  // journal restores them on the next open for writing.
  switch (journal_state(path)) {
    case JournalState::None: break;
    case JournalState::Hot:
      fail(path, "a write to it was interrupted and is not yet rolled back; open it for writing once to repair it");
    case JournalState::Foreign: throw JetError(foreign_journal_message(path));
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) fail(path, std::string("cannot read: ") + std::strerror(errno));
  if (S_ISDIR(info.st_mode)) fail(path, "is a folder, not a database file");
  if (!S_ISREG(info.st_mode)) fail(path, "not a regular file");
  const auto size = static_cast<size_t>(info.st_size);
  if (size == 0) fail(path, "not an Access database (the file is empty)");

  std::shared_ptr<FilePageSource> source(new FilePageSource());
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd.get(), 0);
  if (mapped == MAP_FAILED) fail(path, std::string("cannot map: ") + std::strerror(errno));
  source->data_ = static_cast<const uint8_t*>(mapped);
  source->mapped_size_ = size;

  try {
    const Format format = detect_format({source->data_, size});
    source->page_size_ = layout_of(format).page_size;
  } catch (const CorruptData& e) {
    fail(path, e.what());
  }
  if (size < source->page_size_) fail(path, "truncated: shorter than one page");
  source->page_count_ = static_cast<uint32_t>(size / source->page_size_);
  return source;
}

FilePageSource::~FilePageSource() {
  if (data_ != nullptr) ::munmap(const_cast<uint8_t*>(data_), mapped_size_);
}

std::span<const uint8_t> FilePageSource::page(uint32_t n) const {
  if (n >= page_count_) throw_out_of_range(n);
  if (n < lowest_read_.load(std::memory_order_relaxed)) lowest_read_.store(n, std::memory_order_relaxed);
  if (n > highest_read_.load(std::memory_order_relaxed)) highest_read_.store(n, std::memory_order_relaxed);
  if (reads_.fetch_add(1, std::memory_order_relaxed) + 1 >= kReadsBetweenLetGos) let_go_of_recent_reads();
  return {data_ + size_t{n} * page_size_, page_size_};
}

// The mapping is read-only, so dropping its pages loses nothing: spans handed out stay
// valid and read the same bytes, faulted in again from the file (usually the kernel's
// cache) when touched.
void FilePageSource::let_go_of_recent_reads() const {
  reads_.store(0, std::memory_order_relaxed);
  const uint32_t lowest = lowest_read_.exchange(UINT32_MAX, std::memory_order_relaxed);
  const uint32_t highest = highest_read_.exchange(0, std::memory_order_relaxed);
  if (lowest > highest) return;
  const size_t first = size_t{lowest} * page_size_;
  const size_t system_page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const size_t start = first - first % system_page;
  const size_t end = std::min(mapped_size_, (size_t{highest} + 1) * page_size_);
  ::madvise(const_cast<uint8_t*>(data_) + start, end - start, MADV_DONTNEED);
}

// All of the mapping: the kernel's fault-around maps pages beyond the ones read too.
void FilePageSource::let_go_of_read_pages() const {
  reads_.store(0, std::memory_order_relaxed);
  lowest_read_.store(UINT32_MAX, std::memory_order_relaxed);
  highest_read_.store(0, std::memory_order_relaxed);
  if (data_ != nullptr) ::madvise(const_cast<uint8_t*>(data_), mapped_size_, MADV_DONTNEED);
}

MemoryPageSource::MemoryPageSource(std::vector<uint8_t> bytes, uint32_t page_size)
    : bytes_(std::move(bytes)), page_size_(page_size) {
  if (page_size_ == 0) throw JetError("page size must not be zero");
}

std::span<const uint8_t> MemoryPageSource::page(uint32_t n) const {
  if (n >= page_count()) throw_out_of_range(n);
  return {bytes_.data() + size_t{n} * page_size_, page_size_};
}

}  // namespace halvaro::jet
