#include "jet/writer/database_writer.h"

#include <algorithm>
#include <chrono>
#include <map>

#include "jet/writer/default_value.h"
#include "jet/pages/page_store.h"
#include "jet/writer/table_writer.h"
#include "jet/pages/usage_map_writer.h"
#include "platform/process.h"

namespace halvaro::jet {

namespace {

constexpr uint32_t kGlobalUsageMap = 1u << 8;  // page 1, row 0: the file's free pages


class Writer final : public DatabaseWriter {
 public:
  Writer(std::shared_ptr<PageStore> pages, const WriterOptions& options)
      : pages_(std::move(pages)), options_(options), database_(Database::open(pages_, pages_->path())) {
    if (database_->format() != Format::Jet4)
      throw JetError(pages_->path().string() + ": writing Access 97 files is not supported");
    pages_->limit_pages(options_.max_pages);
    pages_written_ahead_mark_ = pages_->page_count();
  }

  ~Writer() override {
    try {
      close();
    } catch (...) {
      // Uncommitted rows are lost; the journal keeps the file whole.
    }
    writers_.clear();
    database_.reset();
    pages_.reset();
    // The pages were small blocks spread through the heap among longer-lived ones;
    // hand the free stretches back rather than keep them resident for what follows.
    platform::trim_memory();
  }

  const Database& database() const override {
    for (auto& [page, writer] : writers_) writer->flush();
    return *database_;
  }

  const TableDef& table(std::string_view name) const override { return database_->table(name); }

  std::vector<FieldValue> new_row(const TableDef& table) const override {
    std::vector<FieldValue> row(table.columns.size());
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const Column& c = table.columns[i];
      if (c.type == ColumnType::Boolean) row[i] = FieldValue(false);
      if (c.default_value && !c.autonumber) {
        FieldValue v = evaluate_default(*c.default_value, c.type);
        if (!v.is_null()) row[i] = std::move(v);
      }
    }
    return row;
  }

  void append(const TableDef& table, const std::vector<FieldValue>& values) override {
    ensure_open();
    // Index entries waiting to go in take pages when they do: they go in while the
    // file still has room for them all.
    if (!pages_->has_room(options_.pages_for_one_row + pages_pending_may_take())) {
      try {
        for (auto& [page, writer] : writers_) writer->insert_pending();
      } catch (...) {
        discard();
        throw;
      }
    }
    // A row is refused before it touches the file when the file is near its largest:
    // failing half way would undo every row since the last commit.
    pages_->ensure_room(options_.pages_for_one_row);
    TableWriter& writer = writer_for(table);
    auto where = [&] { return "table " + table.name; };  // only a refusal needs it
    if (values.size() != table.columns.size())
      throw ValueError(where() + ": a row needs " + std::to_string(table.columns.size()) + " values, not " +
                       std::to_string(values.size()));
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const Column& c = table.columns[i];
      const bool is_text = c.type == ColumnType::Text || c.type == ColumnType::Memo;
      if (values[i].is_null() && c.required && !c.autonumber)
        throw ConstraintError(where() + ": column " + c.name + " is required, but the row leaves it Null");
      if (is_text && !c.allow_zero_length && values[i].is<std::string>() && values[i].as<std::string>().empty())
        throw ConstraintError(where() + ": column " + c.name + " does not allow a zero-length text");
    }
    try {
      writer.append(values);
    } catch (const ValueError&) {
      throw;
    } catch (const ConstraintError&) {
      throw;
    } catch (...) {
      // Something failed half way: forget every uncommitted change so that the
      // file and this writer agree on the last commit.
      discard();
      throw;
    }
    ++pending_rows_;
    if (pending_rows_ >= options_.commit_rows ||
        std::chrono::steady_clock::now() - last_commit_ >= options_.commit_interval)
      commit();
    // Rows spread over large indexes read and change many pages: commit early, and so
    // let go of them, rather than hold more than the limit.
    else if (pages_held() >= options_.pages_held_before_commit && !make_room_without_commit())
      commit();
    // The pages added since then are mostly full data pages, which change no more:
    // writing them now hands their buffers to the next pages (no fresh memory to fault
    // in) and leaves the commit less to write. A table's last data page is read back
    // when its next row comes.
    else if (pages_->page_count() >= pages_written_ahead_mark_ + options_.pages_added_before_write_ahead)
      write_added_pages();
  }

  void commit() override {
    ensure_open();
    try {
      for (auto& [page, writer] : writers_) writer->flush();
      pages_->commit();
    } catch (...) {
      // The store has put the file back at its last commit (or, when a page could not
      // be encoded, has not written it); the table writers follow.
      discard();
      throw;
    }
    // What was committed can be read back from the file: past a limit, keep only what
    // the next rows change, so a long run's memory does not grow with the file. Below
    // it, keeping the pages saves reading and decoding them again. (Keeping the most
    // recently used ones past the limit was measured slower: the room left until the
    // next early commit shrinks by as much, and commits cost more than reads.)
    if (pages_held() > options_.pages_kept_after_commit) {
      pages_->release();
      for (auto& [page, writer] : writers_) writer->release();
    }
    // The buffers let go of serve the pages read or added before the next commit.
    // Index pages are held decoded, not in buffers (a page read for decoding gives its
    // buffer back at once), so a few spares do. (Handing every buffer back to the
    // system at each commit and faulting them in again cost more than the rest of the
    // commit.)
    const size_t held = pages_held();
    const size_t room = options_.pages_held_before_commit > held ? options_.pages_held_before_commit - held : 0;
    pages_->keep_spare(std::min(room, options_.pages_kept_after_commit / 4));
    pending_rows_ = 0;
    last_commit_ = std::chrono::steady_clock::now();
    pages_written_ahead_mark_ = pages_->page_count();
  }

  uint64_t bytes_written() const override { return pages_->bytes_written(); }
  uint64_t commits() const override { return pages_->commits(); }
  uint64_t rollbacks() const override { return rollbacks_; }

  WriterCounters counters() const override {
    WriterCounters c;
    c.commits = pages_->commits();
    c.pages_loaded = pages_->pages_loaded();
    c.pages_committed = pages_->pages_committed();
    c.pages_written_ahead = pages_->pages_written_ahead();
    for (const auto& [page, writer] : writers_) c.index_pages_decoded += writer->index_pages_decoded();
    return c;
  }

  void close() override {
    if (closed_) return;
    commit();
    pages_->close();
    closed_ = true;
  }

 private:
  // Pages in memory: those in the store, and the index pages held decoded, counted
  // by their bytes (a decoded page takes its entries' whole length, more than the
  // page when they share a long prefix).
  size_t pages_held() const {
    size_t decoded = 0;
    for (const auto& [page, writer] : writers_) decoded += writer->index_bytes_held();
    return pages_->pages_held() + (decoded + pages_->page_size() - 1) / pages_->page_size();
  }

  size_t pages_pending_may_take() const {
    size_t pages = 0;
    for (const auto& [page, writer] : writers_) pages += writer->pages_pending_may_take();
    return pages;
  }

  // Index leaves read only to find where entries go (the neighbours of the leaves
  // that take them) are let go of first: reading one again costs less than a commit,
  // which writes every changed page and lets go of them all; then the pages added since
  // the last commit are written ahead of it. True when that left room for a quarter of
  // the limit.
  bool make_room_without_commit() {
    const size_t goal = options_.pages_held_before_commit / 4 * 3;
    for (auto& [page, writer] : writers_) writer->release();
    if (pages_held() <= goal) return true;
    // The pages added since the last commit (the rows' data pages above all) can go to
    // the file before it: they are past its committed length.
    write_added_pages();
    return pages_held() <= goal;
  }

  void write_added_pages() {
    try {
      pages_->write_ahead();
    } catch (...) {
      discard();
      throw;
    }
    pages_written_ahead_mark_ = pages_->page_count();
  }

  void ensure_open() const {
    if (closed_) throw JetError(pages_->path().string() + ": the writer has been closed");
  }

  void discard() {
    ++rollbacks_;
    pages_->discard_changes();
    for (auto& [page, writer] : writers_) writer->reload();
    pending_rows_ = 0;
    pages_written_ahead_mark_ = pages_->page_count();
  }

  TableWriter& writer_for(const TableDef& table) {
    auto it = writers_.find(table.definition_page);
    if (it != writers_.end()) return *it->second;
    const TableDef* own = database_->find_table(table.name);
    if (!own || own->definition_page != table.definition_page)
      throw JetError(pages_->path().string() + ": table " + table.name + " is not a table of this file");
    auto writer =
        std::make_unique<TableWriter>(*pages_, *own, [this] { return allocate(); }, options_.index_entries_per_batch);
    return *writers_.emplace(table.definition_page, std::move(writer)).first->second;
  }

  uint32_t allocate() {
    const uint32_t page = pages_->allocate();
    UsageMapWriter(*pages_, kGlobalUsageMap, [this] { return allocate(); }).remove_if_covered(page);
    return page;
  }

  std::shared_ptr<PageStore> pages_;
  WriterOptions options_;
  std::unique_ptr<Database> database_;
  std::map<uint32_t, std::unique_ptr<TableWriter>> writers_;
  uint32_t pending_rows_ = 0;
  uint32_t pages_written_ahead_mark_ = 0;  // the file's pages at the last commit or write ahead
  uint64_t rollbacks_ = 0;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  bool closed_ = false;
};

}  // namespace

DatabaseWriter::~DatabaseWriter() = default;

std::unique_ptr<DatabaseWriter> DatabaseWriter::open(const std::filesystem::path& path,
                                                     const WriterOptions& options) {
  return std::make_unique<Writer>(PageStore::open(path), options);
}

}  // namespace halvaro::jet
