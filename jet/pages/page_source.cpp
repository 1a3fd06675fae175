#include "jet/pages/page_source.h"

#include "jet/pages/journal.h"

#include <string>

#include "jet/base/errors.h"
#include "jet/pages/header.h"
#include "jet/pages/other_holders.h"

namespace halvaro::jet {

void PageSource::throw_out_of_range(uint32_t n) const {
  throw CorruptData("page " + std::to_string(n) + " is beyond the end of the file (" +
                    std::to_string(page_count()) + " pages)");
}

namespace {

[[noreturn]] void fail(const std::filesystem::path& path, const std::string& what) {
  throw JetError(path.string() + ": " + what);
}

}  // namespace

std::shared_ptr<FilePageSource> FilePageSource::open(const std::filesystem::path& path, Sharing sharing) {
  std::error_code error;
  const auto mode = sharing == Sharing::beside_own_writer ? platform::File::Mode::peek : platform::File::Mode::read;
  if (sharing == Sharing::writers_kept_out) refuse_if_lock_file_held(path);
  platform::File file = platform::File::open(path, mode, error);
  if (error == std::errc::is_a_directory) fail(path, "is a folder, not a database file");
  // Only Windows refuses the open itself: another program has the file open for writing.
  if (error == std::errc::device_or_resource_busy) throw JetError(held_elsewhere_message(path));
  if (!file.is_open()) fail(path, "cannot open: " + error.message());
  // A writer that died in the middle of a commit left pages half written; its
  // journal restores them on the next open for writing.
  switch (journal_state(path)) {
    case JournalState::None: break;
    case JournalState::Hot:
      fail(path, "a write to it was interrupted and is not yet rolled back; open it for writing once to repair it");
    case JournalState::Foreign: throw JetError(foreign_journal_message(path));
  }
  const bool regular = file.is_regular(error);
  const auto size = static_cast<size_t>(file.size(error));
  if (error) fail(path, "cannot read: " + error.message());
  if (!regular) fail(path, "not a regular file");
  if (size == 0) fail(path, "not an Access database (the file is empty)");

  std::shared_ptr<FilePageSource> source(new FilePageSource());
  source->mapping_ = platform::ReadOnlyMapping::map(file, size, error);
  if (error) fail(path, "cannot map: " + error.message());
  source->data_ = source->mapping_.data();
  source->mapped_size_ = size;
  source->file_ = std::move(file);

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

FilePageSource::~FilePageSource() = default;

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
  mapping_.let_go(first, (size_t{highest} + 1) * page_size_ - first);
}

// All of the mapping: the kernel's fault-around maps pages beyond the ones read too.
void FilePageSource::let_go_of_read_pages() const {
  reads_.store(0, std::memory_order_relaxed);
  lowest_read_.store(UINT32_MAX, std::memory_order_relaxed);
  highest_read_.store(0, std::memory_order_relaxed);
  mapping_.let_go(0, mapped_size_);
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
