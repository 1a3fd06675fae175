#pragma once
// Rollback journal beside a database file ("<file>-journal"). Before a commit
// overwrites pages of the database, their previous contents are saved here and
// synced; once the database itself is synced the journal is emptied. A journal found
// holding a complete record set on open means a commit died half way: putting the
// saved pages back (and cutting the file to its old length) restores the last
// committed state.
//
// A journal belongs to a file, not to a name: it lives beside the real file (links
// resolved) and records the file's identity (device and inode, or volume and file
// index) and a digest of its header page.
// A journal that does not match the file it sits beside is never rolled into it.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"

namespace halvaro::jet {

// "<real file>-journal", with every link in `database`'s path resolved.
std::filesystem::path journal_path(const std::filesystem::path& database);

enum class JournalState {
  None,     // no journal, or one without saved pages
  Hot,      // saved pages of this file: a commit may be half done until rolled back
  Foreign,  // saved pages recorded for another file (or this file since replaced)
};
JournalState journal_state(const std::filesystem::path& database);

// True when a journal with saved pages of this file sits beside `database`.
bool has_hot_journal(const std::filesystem::path& database);

// The message for a journal that belongs to another file.
std::string foreign_journal_message(const std::filesystem::path& database);

class Journal {
 public:
  // The journal of `database`, open as `db` (which must outlive it). The journal file
  // is only created by the first save, so a writer that never commits leaves nothing
  // behind.
  Journal(const std::filesystem::path& database, platform::File& db, uint32_t page_size);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Saves the current contents in the database file of `pages` (ascending, so the
  // file is read in order) as their old contents, with the file's lengths before and
  // after the commit and its identity, then syncs. A commit calls it before it
  // overwrites anything. `new_header` is the header page about to be written, if it
  // changes.
  void save(uint32_t old_page_count, uint32_t new_page_count, std::span<const uint32_t> pages,
            const uint8_t* new_header = nullptr);
  // Marks the journal empty (after the database has been synced).
  void clear();

  // Restores the database from a journal left by a crashed writer; `db` is the
  // open database. Returns the number of pages put back (0: nothing to do). Throws
  // JetError, leaving file and journal as they are, when the journal is another file's.
  // `own_commit`: the caller wrote the journal itself (a commit that failed), so the
  // header page may be torn and the identity is not asked for.
  static size_t roll_back(const std::filesystem::path& database, platform::File& db, uint32_t page_size,
                          bool own_commit = false);

  // Removes the journal file (on a clean close).
  void remove();

  uint64_t bytes_written() const { return bytes_written_; }

 private:
  void create();

  std::filesystem::path path_;
  uint32_t page_size_;
  platform::File& db_;
  platform::File file_;
  uint64_t salt_ = 0;
  uint64_t bytes_written_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace halvaro::jet
