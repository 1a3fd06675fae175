#pragma once
// Appends rows to one table: places the row (and any long values) on pages, keeps
// the table's usage maps, row count and autonumber counter, and inserts the row into
// every index. All checks that can refuse a row (values, unique keys) run before the
// first byte changes, so a refused row leaves the table as it was.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/indexes/index_writer.h"
#include "jet/tables/row_encoder.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

class PageStore;

class TableWriter {
 public:
  // `table` is the definition as the file was opened (it must outlive the writer);
  // `allocate` returns a fresh page already taken out of the file's free-page map. The
  // entries of an index that takes duplicates go in `index_batch` at a time.
  TableWriter(PageStore& pages, const TableDef& table, std::function<uint32_t()> allocate,
              size_t index_batch);

  // values[i] belongs to table.columns[i]. Null autonumber columns get the next
  // number, or a new random GUID in a ReplicationID column. Throws ValueError or
  // ConstraintError without changing anything.
  void append(const std::vector<FieldValue>& values);

  // Inserts the entries waiting in the indexes that take duplicates, and counts their
  // new distinct keys in the definition.
  void insert_pending();
  // The most pages that can take (see IndexWriter::pages_pending_may_take).
  size_t pages_pending_may_take() const;
  // Inserts the waiting entries and encodes changed index pages into the store (before
  // a commit or a read).
  void flush();
  // Re-reads everything from the store (after uncommitted changes were dropped).
  void reload();
  // Lets go of the decoded index leaves not changed since they were last encoded
  // (after a commit, all of them); they are decoded again when next needed.
  void release();
  uint64_t index_pages_decoded() const;
  // Bytes of the index pages held decoded now.
  size_t index_bytes_held() const;

  IndexWriter& index(size_t real_index);
  uint32_t row_count() const { return row_count_; }

 private:
  void insert_pending(size_t real_index);
  uint32_t place_row(const std::vector<uint8_t>& row);
  uint32_t write_long_value(const std::vector<uint8_t>& data, bool single_page);
  uint32_t long_value_page(size_t needed);
  bool key_is_null(const RealIndex& index, const std::vector<FieldValue>& values) const;
  std::string describe_key(const RealIndex& index, const std::vector<FieldValue>& values) const;

  PageStore& pages_;
  const TableDef& table_;
  const std::string where_;  // "table NAME", the start of every refusal
  std::vector<std::string> real_index_names_;  // per real index, for refusals
  std::vector<bool> real_index_primary_;
  std::function<uint32_t()> allocate_;
  size_t index_batch_;
  // The counters the definition page holds, as this writer has them.
  uint32_t row_count_ = 0;
  uint32_t last_autonumber_ = 0;
  std::vector<std::unique_ptr<IndexWriter>> indexes_;
  uint32_t insert_page_ = 0;  // data page taking new rows (0: look for one)
  uint32_t long_value_page_ = 0;
  // Scratch for append.
  std::vector<FieldValue> numbered_;  // a row whose autonumbers were filled in
  std::vector<StoredValue> stored_;
  std::vector<std::vector<uint8_t>> long_data_;
  std::vector<bool> is_inline_;
  std::vector<KeyBytes> keys_;
  TextKeyParts text_key_parts_;  // the parts of the last row's key texts
};

}  // namespace halvaro::jet
