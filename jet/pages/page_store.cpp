#include "jet/pages/page_store.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "jet/base/errors.h"
#include "jet/pages/journal.h"
#include "jet/pages/other_holders.h"
#include "platform/file_system.h"

namespace halvaro::jet {

namespace {

std::string quoted(const std::filesystem::path& path) { return "\"" + path.string() + "\""; }

void read_exact(const platform::File& file, uint8_t* data, size_t size, uint64_t offset,
                const std::filesystem::path& path) {
  std::error_code error;
  if (file.read_at(data, size, offset, error) == size) return;
  if (!error) throw JetError(quoted(path) + ": the file ends inside a page");
  throw JetError(quoted(path) + ": cannot read: " + error.message());
}

}  // namespace

std::shared_ptr<PageStore> PageStore::open(const std::filesystem::path& path) {
  std::shared_ptr<PageStore> store(new PageStore());
  store->path_ = path;
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec))
    throw JetError(quoted(path) + " is a folder, not a database file");
  if (!std::filesystem::is_regular_file(path, ec))
    throw JetError(quoted(path) + ": no such database file");
  // The journal lives beside the real file, so that is the folder that must be writable.
  const std::filesystem::path journal_folder = journal_path(path).parent_path();
  const std::filesystem::path folder = journal_folder.empty() ? std::filesystem::path(".") : journal_folder;
  if (!platform::is_writable(path))
    throw JetError(quoted(path) + " is read-only: cannot append to it");
  if (!platform::is_writable(folder))
    throw JetError("the folder " + quoted(folder) +
                   " is read-only: cannot write the journal that protects " + quoted(path));
  const std::string busy = quoted(path) + " is being written by another program; try again when it has finished";
  refuse_if_lock_file_held(path);
  std::error_code error;
  store->file_ = platform::File::open(path, platform::File::Mode::read_write, error);
  // Only Windows refuses the open itself: another program has the file open.
  if (error == std::errc::device_or_resource_busy) throw JetError(held_elsewhere_message(path));
  if (!store->file_.is_open())
    throw JetError(quoted(path) + ": cannot open for writing: " + error.message());
  if (!store->file_.lock_for_writing(error)) {
    if (error == std::errc::device_or_resource_busy) throw JetError(busy);
    throw JetError(quoted(path) + ": cannot lock for writing: " + error.message());
  }

  uint8_t header[0x20];
  read_exact(store->file_, header, sizeof header, 0, path);
  if (header[0] != 0 || header[1] != 1 || header[2] != 0 || header[3] != 0)
    throw JetError(quoted(path) + " is not a Microsoft Access database");
  if (header[0x14] == 0)
    throw JetError(quoted(path) + " is an Access 97 (Jet 3) database: writing Access 97 files is not supported");
  if (header[0x14] != 1)  // 1: Jet 4 (Access 2000-2003); higher: the .accdb engines
    throw JetError(quoted(path) + " is a newer Access format (.accdb era) that cannot be written");
  store->page_size_ = 4096;

  store->rolled_back_ = Journal::roll_back(path, store->file_, store->page_size_);
  const uint64_t size = store->file_.size(error);
  if (error) throw JetError(quoted(path) + ": cannot read the file's size: " + error.message());
  if (size % store->page_size_ != 0)
    throw JetError(quoted(path) + " is damaged: its length is not a whole number of pages");
  store->committed_pages_ = store->file_pages_ = static_cast<uint32_t>(size / store->page_size_);
  store->pages_.resize(store->committed_pages_);
  store->is_dirty_.resize(store->committed_pages_);
  store->journal_ = std::make_unique<Journal>(path, store->file_, store->page_size_);
  return store;
}

// Uncommitted changes are dropped; the lock goes with the file.
PageStore::~PageStore() = default;

std::unique_ptr<uint8_t[]> PageStore::buffer() const {
  if (spare_.empty()) return std::unique_ptr<uint8_t[]>(new uint8_t[page_size_]);
  auto buf = std::move(spare_.back());
  spare_.pop_back();
  return buf;
}

void PageStore::recycle(std::unique_ptr<uint8_t[]> buf) {
  if (buf) spare_.push_back(std::move(buf));
}

void PageStore::keep_spare(size_t most) {
  if (spare_.size() > most) spare_.resize(most);
  spare_.shrink_to_fit();
}

void PageStore::load(uint32_t page) const {
  auto buf = buffer();
  if (page < file_pages_) {
    read_exact(file_, buf.get(), page_size_, uint64_t{page} * page_size_, path_);
    ++pages_loaded_;
  } else {
    // A page added since the last commit whose bytes were set aside: the file does not
    // have it yet.
    std::memset(buf.get(), 0, page_size_);
  }
  pages_[page] = std::move(buf);
  note_held(page);
}

void PageStore::note_held(uint32_t page) const {
  ++held_;
  if (held_at_.size() <= page) held_at_.resize(std::max<size_t>(page + 1, held_at_.size() * 2));
  held_at_[page] = static_cast<uint32_t>(held_pages_.size());
  held_pages_.push_back(page);
}

void PageStore::drop_held(uint32_t page) {
  const uint32_t at = held_at_[page];
  const uint32_t last = held_pages_.back();
  held_pages_[at] = last;
  held_at_[last] = at;
  held_pages_.pop_back();
  --held_;
  recycle(std::move(pages_[page]));
}

const uint8_t* PageStore::read(uint32_t page) const {
  if (page >= pages_.size())
    throw JetError(quoted(path_) + " is damaged: page " + std::to_string(page) +
                   " is past the end of the file");
  if (!pages_[page]) load(page);
  return pages_[page].get();
}

std::span<const uint8_t> PageStore::page(uint32_t n) const {
  if (n >= pages_.size()) throw_out_of_range(n);
  return {read(n), page_size_};
}

uint8_t* PageStore::write(uint32_t page) {
  uint8_t* bytes = const_cast<uint8_t*>(read(page));
  if (!is_dirty_[page]) {
    is_dirty_[page] = true;
    dirty_.push_back(page);
  }
  return bytes;
}

uint8_t* PageStore::overwrite(uint32_t page) {
  if (page < pages_.size() && !pages_[page]) {
    pages_[page] = buffer();
    std::memset(pages_[page].get(), 0, page_size_);
    note_held(page);
  }
  return write(page);  // which refuses a page past the end
}

void PageStore::forget(uint32_t page) {
  if (page < committed_pages_ && pages_[page] && !is_dirty_[page]) drop_held(page);
}

void PageStore::set_aside(uint32_t page) {
  if (changed(page) && pages_[page]) drop_held(page);
}

void PageStore::ensure_room(uint32_t pages) const {
  if (!has_room(pages))
    throw JetError(quoted(path_) + " is full: it would grow past " +
                   std::to_string(uint64_t{max_pages_} * page_size_ / (1024 * 1024)) +
                   " MiB, the most an Access database file can hold");
}

uint32_t PageStore::allocate() {
  ensure_room(1);
  const auto page = static_cast<uint32_t>(pages_.size());
  pages_.push_back(buffer());
  note_held(page);
  std::memset(pages_.back().get(), 0, page_size_);
  is_dirty_.push_back(false);
  write(page);
  return page;
}

void PageStore::commit() {
  if (!file_.is_open()) throw JetError(quoted(path_) + ": the writer is closed");
  if (unusable_)
    throw JetError(quoted(path_) +
                   ": a failed commit could not be rolled back; open the file again to restore its last commit");
  if (dirty_.empty() && file_pages_ == committed_pages_) return;
  for (uint32_t page : dirty_)
    if (!pages_[page]) {
      // Its holder never wrote it back: committing the file without it would lose rows.
      discard_changes();
      throw JetError(quoted(path_) + ": page " + std::to_string(page) +
                     " was changed but its new contents were never written back; the changes since the "
                     "last commit were dropped");
    }
  // The pages the commit overwrites still hold their committed bytes in the file, so
  // the journal takes them from there: keeping a copy of each page changed would
  // double the memory of the changes.
  std::sort(dirty_.begin(), dirty_.end());
  const auto existing = std::lower_bound(dirty_.begin(), dirty_.end(), committed_pages_);
  try {
    journal_->save(committed_pages_, page_count(), {dirty_.begin(), existing},
                   is_dirty_[0] ? pages_[0].get() : nullptr);
  } catch (const JetError&) {
    // The file itself has not been touched yet; a journal written in part must not
    // look like one to roll back.
    try {
      journal_->clear();
      length_saved_ = false;
    } catch (const JetError&) {  // its records fail their checksums; harmless to roll back
    }
    discard_changes();
    throw;
  }
  try {
    write_dirty_pages();
  } catch (const JetError& error) {
    roll_back_failed_commit(error.what());
  }
  journal_->clear();

  pages_committed_ += dirty_.size();
  ++commits_;
  for (uint32_t page : dirty_) is_dirty_[page] = false;
  dirty_.clear();
  committed_pages_ = file_pages_ = page_count();
  length_saved_ = false;
}

void PageStore::roll_back_failed_commit(const std::string& failure) {
  // Put the saved pages back from the journal (synced before the first write), so
  // the file is at its last commit before the failure is reported.
  std::string outcome = "; the file was rolled back to its last commit";
  try {
    Journal::roll_back(path_, file_, page_size_, true);
  } catch (const JetError& error) {
    outcome = "; rolling back failed too (" + std::string(error.what()) +
              "), the journal beside it restores its last commit at the next open for writing";
    // The file may hold part of the failed commit: a later commit would journal those
    // bytes as if they were committed ones, and overwrite the journal that can repair it.
    unusable_ = true;
  }
  discard_changes();
  throw JetError(failure + outcome);
}

void PageStore::write_dirty_pages() {
  std::sort(dirty_.begin(), dirty_.end());
  write_pages(dirty_);
  std::error_code error;
  if (!file_.sync_data(error)) throw JetError(quoted(path_) + ": cannot sync: " + error.message());
}

void PageStore::write_pages(const std::vector<uint32_t>& pages) {
  // Write runs of consecutive pages with one call each.
  if (pages.empty()) return;
  std::vector<std::span<const uint8_t>> run;
  auto flush = [&](uint32_t first) {
    std::error_code error;
    if (!file_.write_gathered(run, uint64_t{first} * page_size_, error))
      throw JetError(quoted(path_) + ": cannot write: " + error.message());
    bytes_written_ += run.size() * page_size_;
    run.clear();
  };
  uint32_t first = pages.front();
  for (uint32_t page : pages) {
    if (!run.empty() && page != first + run.size()) {
      flush(first);
      first = page;
    }
    run.emplace_back(pages_[page].get(), page_size_);
  }
  flush(first);
  file_pages_ = std::max(file_pages_, pages.back() + 1);
}

size_t PageStore::write_ahead() {
  if (unusable_) return 0;
  std::vector<uint32_t> added;
  for (uint32_t page : held_pages_)
    if (page >= committed_pages_) added.push_back(page);
  if (added.empty()) return 0;
  std::sort(added.begin(), added.end());
  std::vector<uint32_t> changed;
  for (uint32_t page : added)
    if (is_dirty_[page]) changed.push_back(page);
  try {
    // A crash from here on leaves pages past the committed length in the file: the
    // journal says how long the file was, so that the next open cuts them off.
    if (!changed.empty() && !length_saved_) {
      journal_->save(committed_pages_, max_pages_, {});
      length_saved_ = true;
    }
    write_pages(changed);
  } catch (const JetError&) {
    discard_changes();
    throw;
  }
  for (uint32_t page : changed) is_dirty_[page] = false;
  std::erase_if(dirty_, [&](uint32_t page) { return page >= committed_pages_ && !is_dirty_[page]; });
  for (uint32_t page : added) drop_held(page);
  pages_written_ahead_ += changed.size();
  return changed.size();
}

void PageStore::count_held() {
  held_ = 0;
  held_pages_.clear();
  for (uint32_t page = 0; page < pages_.size(); ++page)
    if (pages_[page]) note_held(page);
}

void PageStore::release() {
  std::vector<uint32_t> kept;
  for (uint32_t page : held_pages_) {
    if (page < committed_pages_ && !is_dirty_[page])
      recycle(std::move(pages_[page]));
    else
      kept.push_back(page);
  }
  held_pages_ = std::move(kept);
  held_ = held_pages_.size();
  for (uint32_t at = 0; at < held_pages_.size(); ++at) held_at_[held_pages_[at]] = at;
}

void PageStore::discard_changes() {
  // The file holds every page as last committed: changed ones are read again when
  // next needed.
  for (uint32_t page : dirty_)
    if (page < committed_pages_) {
      is_dirty_[page] = false;
      recycle(std::move(pages_[page]));
    }
  dirty_.clear();
  for (size_t page = committed_pages_; page < pages_.size(); ++page) recycle(std::move(pages_[page]));
  pages_.resize(committed_pages_);
  is_dirty_.resize(committed_pages_);
  count_held();
  if (file_pages_ > committed_pages_) {
    // Pages written ahead of the commit are cut off. Should that fail, the journal
    // cuts them off at the next open, and until then nothing more is committed.
    std::error_code error;
    if (!file_.truncate(uint64_t{committed_pages_} * page_size_, error)) unusable_ = true;
    file_pages_ = committed_pages_;
  }
  // A rollback may have emptied the journal: the next page written ahead saves the
  // length again.
  length_saved_ = false;
}

void PageStore::close() {
  if (!file_.is_open()) return;
  commit();
  spare_.clear();
  journal_->remove();
  file_.close();
}

uint64_t PageStore::bytes_written() const { return bytes_written_ + journal_->bytes_written(); }

}  // namespace halvaro::jet
