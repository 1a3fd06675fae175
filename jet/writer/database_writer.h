#pragma once
// Layer jet/writer: appending rows to an existing file. It owns DatabaseWriter, the
// per-table writer that stores a row and its index entries, column defaults, literal
// conversion for inserts and the consistency checker. It may use jet/catalog and the
// layers below it.
//
// Public face of the engine's writing half: appends rows to the tables of a Jet 4
// (Access 2000-2003) file, keeping every index, usage map and counter right, under a
// rollback journal so that the file survives a crash at any moment.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

#include "jet/catalog/database.h"
#include "jet/base/field_value.h"

namespace halvaro::jet {

// When uncommitted appends are made durable on their own (commit() and close()
// always do it).
//
// Every commit writes all the pages changed since the last one, and a large transfer
// changes thousands of index leaves spread over its indexes between any two commits:
// frequent commits write those leaves again and again (at a million invoices, commits
// every 2 s or 100,000 rows wrote each of some 16,000 leaves 30 times a stage). A
// crash leaves the file whole at its last commit whenever it comes, so commits are
// spaced by what memory allows (pages_held_before_commit) more than by time.
struct WriterOptions {
  uint32_t commit_rows = 500000;
  std::chrono::milliseconds commit_interval{10000};
  // Past this many pages held in memory (about 16 MiB), a commit lets go of the pages
  // and decoded index pages it wrote; they are read again when needed.
  size_t pages_kept_after_commit = 4096;
  // A commit comes early once this many pages are held (72 MiB), read or changed:
  // pages in the store, and index pages held decoded, counted by their bytes in 4 KiB
  // units. (A page is held one way or the other, not both; the journal takes the old
  // contents of changed pages from the file, so no copies of them are held besides.)
  // Rows spread over more index leaves than this commit often, and each such commit
  // writes all of those leaves. This is the largest share of a transfer's memory, set
  // so that a million invoices stay well under 256 MiB in the window, whose own
  // libraries take some 15-20 MiB more than the command line.
  size_t pages_held_before_commit = 18432;
  // Once this many pages were added since the last commit (or since they were last
  // written ahead), the added pages that are held go to the file ahead of the commit.
  uint32_t pages_added_before_write_ahead = 1024;
  // An index that takes duplicates gets its entries this many at a time, in key order
  // (see IndexWriter::add_pending); they take some 40 bytes each until then.
  size_t index_entries_per_batch = 32768;
  // Access opens files below 2 GiB only: the writer refuses to grow a file past this
  // many 4 KiB pages.
  uint32_t max_pages = 524287;
  // A row is refused, untouched, once fewer pages than this are left: more than one row
  // can take (its data page, its long values, a split of every index on the way up).
  uint32_t pages_for_one_row = 1024;
};

// What a writer has done so far (for measurements).
struct WriterCounters {
  uint64_t commits = 0;
  uint64_t pages_loaded = 0;         // read from the file
  uint64_t pages_committed = 0;      // written by commits
  uint64_t index_pages_decoded = 0;
  uint64_t pages_written_ahead = 0;  // added pages written before their commit, to make room
};

class DatabaseWriter {
 public:
  // Opens a Jet 4 file for appending. Rolls back what a crashed writer left half done,
  // then holds a lock so that a second writer is refused. Throws JetError for a Jet 3
  // file, a read-only file or folder, a locked file or a damaged one.
  static std::unique_ptr<DatabaseWriter> open(const std::filesystem::path& path,
                                              const WriterOptions& options = {});
  virtual ~DatabaseWriter();  // commits, like close(); errors there are swallowed

  // The file as written so far (reads see this writer's appends).
  virtual const Database& database() const = 0;
  virtual const TableDef& table(std::string_view name) const = 0;  // case-blind

  // A fresh row for `table`: every column's DefaultValue applied (literals and the
  // common expressions such as Now() and Date()), null elsewhere; autonumber columns
  // stay null and get their number on append.
  virtual std::vector<FieldValue> new_row(const TableDef& table) const = 0;

  // Appends one row; values[i] belongs to table.columns[i] and is already of the column's
  // kind (text for Text/Memo, int64 for whole numbers, double, Currency, DateTime, bool,
  // Decimal, Guid, Binary). Throws ValueError or ConstraintError (the file is unchanged)
  // or JetError.
  virtual void append(const TableDef& table, const std::vector<FieldValue>& values) = 0;

  // Makes every append so far durable. Appends are also committed as WriterOptions
  // says, and at close.
  virtual void commit() = 0;
  // Commits and releases the file; the writer is unusable afterwards.
  virtual void close() = 0;

  // Bytes written to the file and its journal so far (for measurements).
  virtual uint64_t bytes_written() const = 0;

  // Commits made so far, and the times a failure undid every append since the last
  // commit (a JetError from append or commit other than a refused row). A caller that
  // notes the commit count can tell which of its appends such a failure took back.
  virtual uint64_t commits() const = 0;
  virtual uint64_t rollbacks() const = 0;

  // Pages read, committed and decoded so far (for measurements).
  virtual WriterCounters counters() const = 0;
};

}  // namespace halvaro::jet
