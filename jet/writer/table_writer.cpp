#include "jet/writer/table_writer.h"

#include <algorithm>

#include "jet/writer/database_writer.h"
#include "jet/pages/page_bytes.h"
#include "jet/pages/page_store.h"
#include "jet/tables/row_encoder.h"
#include "jet/pages/row_page.h"
#include "jet/pages/usage_map_writer.h"

namespace halvaro::jet {

namespace {

std::string show(const FieldValue& v) {
  if (v.is_null()) return "Null";
  if (v.is<std::string>()) return "'" + v.as<std::string>() + "'";
  if (v.is<int64_t>()) return std::to_string(v.as<int64_t>());
  if (v.is<double>()) {
    std::string s = std::to_string(v.as<double>());
    while (s.size() > 1 && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
  }
  if (v.is<bool>()) return v.as<bool>() ? "True" : "False";
  if (v.is<DateTime>()) return "#" + to_iso8601(v.as<DateTime>()) + "#";
  if (v.is<Currency>()) {
    int64_t s = v.as<Currency>().scaled;
    std::string sign = s < 0 ? "-" : "";
    uint64_t m = s < 0 ? static_cast<uint64_t>(-(s + 1)) + 1 : static_cast<uint64_t>(s);
    std::string frac = std::to_string(m % 10000);
    return sign + std::to_string(m / 10000) + "." + std::string(4 - frac.size(), '0') + frac;
  }
  if (v.is<Decimal>()) return to_string(v.as<Decimal>());
  if (v.is<Guid>()) return to_string(v.as<Guid>());
  return "(binary)";
}

}  // namespace

namespace {

// Offsets in a Jet 4 table definition's first page.
constexpr size_t kRowCount = 16;
constexpr size_t kAutonumber = 20;
// Per real index, 12 bytes from 63: the second word counts its distinct keys.
size_t distinct_keys_offset(size_t real_index) { return 63 + 12 * real_index + 4; }

}  // namespace

TableWriter::TableWriter(PageStore& pages, const TableDef& table, std::function<uint32_t()> allocate,
                         size_t index_batch)
    : pages_(pages),
      table_(table),
      where_("table " + table.name),
      allocate_(std::move(allocate)),
      index_batch_(std::max<size_t>(index_batch, 1)) {
  if (table.format != Format::Jet4) throw JetError("table " + table.name + ": only Jet 4 tables can be written");
  // Each real index is shown by the name of a logical index on it, the primary key's
  // when there is one.
  real_index_names_.resize(table.real_indexes.size());
  real_index_primary_.assign(table.real_indexes.size(), false);
  for (const auto& logical : table.indexes) {
    if (logical.real_index < 0 || static_cast<size_t>(logical.real_index) >= table.real_indexes.size()) continue;
    const auto r = static_cast<size_t>(logical.real_index);
    if (real_index_names_[r].empty() || logical.primary) real_index_names_[r] = logical.name;
    real_index_primary_[r] = real_index_primary_[r] || logical.primary;
  }
  reload();
}

void TableWriter::reload() {
  const uint8_t* definition = pages_.read(table_.definition_page);
  row_count_ = bytes::get32(definition + kRowCount);
  last_autonumber_ = bytes::get32(definition + kAutonumber);
  indexes_.clear();
  for (const auto& real : table_.real_indexes) {
    const uint32_t map = real.used_pages;
    indexes_.push_back(std::make_unique<IndexWriter>(pages_, table_.definition_page, real.root_page, [this, map] {
      uint32_t page = allocate_();
      UsageMapWriter(pages_, map, allocate_).add(page);
      return page;
    }));
  }
  insert_page_ = 0;
  long_value_page_ = 0;
}

IndexWriter& TableWriter::index(size_t real_index) { return *indexes_.at(real_index); }

void TableWriter::insert_pending(size_t r) {
  const uint64_t distinct = indexes_[r]->insert_pending();
  uint8_t* count = pages_.write(table_.definition_page) + distinct_keys_offset(r);
  bytes::put32(count, bytes::get32(count) + static_cast<uint32_t>(distinct));
}

void TableWriter::insert_pending() {
  for (size_t r = 0; r < indexes_.size(); ++r)
    if (indexes_[r]->pending_count() > 0) insert_pending(r);
}

size_t TableWriter::pages_pending_may_take() const {
  size_t pages = 0;
  for (const auto& index : indexes_) pages += index->pages_pending_may_take();
  return pages;
}

void TableWriter::flush() {
  insert_pending();
  for (auto& index : indexes_) index->flush();
}

void TableWriter::release() {
  for (auto& index : indexes_) index->forget();
}

size_t TableWriter::index_bytes_held() const {
  size_t held = 0;
  for (const auto& index : indexes_) held += index->bytes_held();
  return held;
}

uint64_t TableWriter::index_pages_decoded() const {
  uint64_t decoded = 0;
  for (const auto& index : indexes_) decoded += index->pages_decoded();
  return decoded;
}

std::string TableWriter::describe_key(const RealIndex& index, const std::vector<FieldValue>& values) const {
  std::string names, shown;
  for (const auto& ic : index.columns) {
    names += (names.empty() ? "" : ", ") + table_.columns.at(ic.column).name;
    shown += (shown.empty() ? "" : ", ") + show(values.at(ic.column));
  }
  return "(" + names + ") = (" + shown + ")";
}

bool TableWriter::key_is_null(const RealIndex& index, const std::vector<FieldValue>& values) const {
  for (const auto& ic : index.columns)
    if (!values.at(ic.column).is_null()) return false;
  return true;
}

void TableWriter::append(const std::vector<FieldValue>& given) {
  const std::string& where = where_;
  const auto& columns = table_.columns;
  if (given.size() != columns.size())
    throw ValueError(where + ": a row needs " + std::to_string(columns.size()) + " values, not " +
                     std::to_string(given.size()));

  // Autonumbers: a null gets the next number (or, in a ReplicationID column, a new
  // random GUID); a given number moves the counter on. Only a row that gets one is
  // copied (into a scratch row that keeps its buffers).
  uint32_t counter = last_autonumber_;
  const std::vector<FieldValue>* row = &given;
  for (size_t i = 0; i < given.size(); ++i) {
    const Column& c = columns[i];
    if (!c.autonumber) continue;
    const FieldValue& value = (*row)[i];
    if (c.type == ColumnType::Long && !value.is_null()) {
      if (value.is<int64_t>() && value.as<int64_t>() > static_cast<int64_t>(counter) &&
          value.as<int64_t>() <= INT32_MAX)
        counter = static_cast<uint32_t>(value.as<int64_t>());
      continue;
    }
    if (!value.is_null() || (c.type != ColumnType::Long && c.type != ColumnType::Guid)) continue;
    if (row == &given) {
      numbered_ = given;
      row = &numbered_;
    }
    numbered_[i] = c.type == ColumnType::Guid ? FieldValue(random_guid()) : FieldValue(static_cast<int64_t>(++counter));
  }
  const std::vector<FieldValue>& values = *row;

  // The scratch vectors keep their buffers from row to row.
  auto& stored = stored_;
  stored.resize(values.size());
  for (size_t i = 0; i < values.size(); ++i) encode_value(stored[i], columns[i], values[i], where);

  // Long values: references first, then inline data while the row stays small.
  auto& long_data = long_data_;
  long_data.resize(values.size());
  for (auto& data : long_data) data.clear();
  auto& is_inline = is_inline_;
  is_inline.assign(values.size(), false);
  for (size_t i = 0; i < values.size(); ++i) {
    if (!is_long_value(columns[i].type) || !stored[i].present) continue;
    long_data[i] = std::move(stored[i].bytes);
    stored[i].bytes.assign(kLongValueHeader, 0);
  }
  size_t size = assembled_size(table_, stored);
  for (size_t i = 0; i < values.size(); ++i) {
    if (!stored[i].present || !is_long_value(columns[i].type)) continue;
    if (long_data[i].size() <= kMaxInlineLongValue && size + long_data[i].size() <= kMaxRowSize) {
      is_inline[i] = true;
      size += long_data[i].size();
    }
  }
  if (size > kMaxRowSize)
    throw ValueError(where + ": the row takes " + std::to_string(size) + " bytes; a row holds at most " +
                     std::to_string(kMaxRowSize));

  // Keys, and the unique ones checked, before anything is written.
  auto& keys = keys_;
  keys.resize(table_.real_indexes.size());
  for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
    const RealIndex& real = table_.real_indexes[r];
    const bool primary = real_index_primary_[r];
    const std::string& index_name = real_index_names_[r];
    try {
      make_key(keys[r], table_, real, values, text_key_parts_);
    } catch (const ValueError& e) {
      throw ValueError(where + ": index " + index_name + ": " + e.what());
    }
    bool has_null = false;
    for (const auto& ic : real.columns)
      if (values.at(ic.column).is_null() && columns.at(ic.column).type != ColumnType::Boolean) has_null = true;
    if (primary && has_null)
      throw ConstraintError(where + ": the primary key " + index_name + " cannot hold a Null: " +
                            describe_key(real, values));
    if ((real.flags & kIndexUnique) && !has_null && indexes_[r]->contains_key(keys[r]))
      throw ConstraintError(where + ": a row with " + describe_key(real, values) + " already exists; the " +
                            (primary ? "primary key " : "unique index ") + index_name +
                            " does not allow duplicates");
  }

  // From here on the file changes.
  for (size_t i = 0; i < values.size(); ++i) {
    if (!stored[i].present || !is_long_value(columns[i].type)) continue;
    auto& ref = stored[i].bytes;
    const auto length = static_cast<uint32_t>(long_data[i].size());
    if (is_inline[i]) {
      bytes::put32(ref.data(), length | 0x80000000u);
      ref.insert(ref.end(), long_data[i].begin(), long_data[i].end());
    } else {
      const bool single = length <= kMaxLongValueRow;
      bytes::put32(ref.data(), length | (single ? 0x40000000u : 0u));
      bytes::put32(ref.data() + 4, write_long_value(long_data[i], single));
    }
  }
  const uint32_t row_pointer = place_row(assemble_row(table_, stored));
  uint8_t* definition = pages_.write(table_.definition_page);
  for (size_t r = 0; r < indexes_.size(); ++r) {
    // An index that ignores nulls leaves out rows whose key columns are all null.
    const RealIndex& real = table_.real_indexes[r];
    if ((real.flags & kIndexIgnoreNulls) && key_is_null(real, values)) continue;
    // An index that takes duplicates refuses nothing: its entries wait, to go in a
    // batch at a time in key order.
    if (!(real.flags & kIndexUnique)) {
      indexes_[r]->add_pending(keys[r], row_pointer);
      if (indexes_[r]->pending_count() >= index_batch_) insert_pending(r);
      continue;
    }
    // The definition keeps a count of distinct keys per index (a statistic for the
    // query planner, which Access itself lets drift after deletions).
    if (indexes_[r]->insert(keys[r], row_pointer)) {
      uint8_t* count = definition + distinct_keys_offset(r);
      bytes::put32(count, bytes::get32(count) + 1);
    }
  }

  row_count_ += 1;
  last_autonumber_ = counter;
  bytes::put32(definition + kRowCount, row_count_);
  bytes::put32(definition + kAutonumber, last_autonumber_);
}

uint32_t TableWriter::place_row(const std::vector<uint8_t>& row) {
  UsageMapWriter owned(pages_, table_.owned_pages, allocate_);
  UsageMapWriter free_space(pages_, table_.free_space_pages, allocate_);
  if (insert_page_ == 0) {
    // The last owned data page that still has room, as Access and Jackcess pick it.
    auto candidates = owned.pages();
    for (auto it = candidates.rbegin(); it != candidates.rend(); ++it) {
      const uint8_t* p = pages_.read(*it);
      if (p[0] == 0x01 && bytes::get32(p + 4) == table_.definition_page && free_space.contains(*it)) {
        insert_page_ = *it;
        break;
      }
    }
  }
  if (insert_page_ != 0 && !row_page::fits(pages_.read(insert_page_), row.size())) {
    free_space.remove(insert_page_);
    insert_page_ = 0;
  }
  if (insert_page_ == 0) {
    insert_page_ = allocate_();
    row_page::init(pages_.write(insert_page_), pages_.page_size(), table_.definition_page);
    owned.add(insert_page_);
    free_space.add(insert_page_);
  }
  const uint8_t number = row_page::add_row(pages_.write(insert_page_), pages_.page_size(), row);
  return insert_page_ << 8 | number;
}

uint32_t TableWriter::long_value_page(size_t needed) {
  if (long_value_page_ == 0 || !row_page::fits(pages_.read(long_value_page_), needed)) {
    long_value_page_ = allocate_();
    row_page::init(pages_.write(long_value_page_), pages_.page_size(), row_page::kLongValueOwner);
  }
  return long_value_page_;
}

uint32_t TableWriter::write_long_value(const std::vector<uint8_t>& data, bool single_page) {
  const size_t max_row = kMaxLongValueRow;
  if (single_page) {
    uint32_t page = long_value_page(data.size());
    uint8_t row = row_page::add_row(pages_.write(page), pages_.page_size(), data);
    return page << 8 | row;
  }
  // A chain: each piece starts with the address of the next (0 ends it). Pieces are
  // written last to first so each knows its successor.
  const size_t piece = max_row - 4;
  std::vector<size_t> starts;
  for (size_t at = 0; at < data.size(); at += piece) starts.push_back(at);
  uint32_t next = 0;
  for (auto it = starts.rbegin(); it != starts.rend(); ++it) {
    const size_t length = std::min(piece, data.size() - *it);
    std::vector<uint8_t> row(4 + length);
    bytes::put32(row.data(), next);
    std::copy_n(data.begin() + static_cast<long>(*it), length, row.begin() + 4);
    uint32_t page = long_value_page(row.size());
    next = page << 8 | row_page::add_row(pages_.write(page), pages_.page_size(), row);
  }
  return next;
}

}  // namespace halvaro::jet
