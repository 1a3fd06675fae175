#include "jet/database_writer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "jet/default_value.h"
#include "jet/page_bytes.h"
#include "jet/page_store.h"
#include "jet/row_page.h"
#include "jet/stored_row.h"
#include "jet/table_writer.h"
#include "jet/usage_map_writer.h"

namespace halvaro::jet {

namespace {

constexpr uint32_t kCatalogPage = 2;
constexpr uint32_t kGlobalUsageMap = 1u << 8;  // page 1, row 0: the file's free pages
constexpr int kUserTable = 1;
constexpr uint32_t kSystemFlags = 0x80000002;

// Uncommitted appends are made durable after this many rows or this much time.
constexpr uint32_t kCommitRows = 20000;
constexpr auto kCommitInterval = std::chrono::milliseconds(500);

std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

class Writer final : public DatabaseWriter {
 public:
  explicit Writer(std::unique_ptr<PageStore> pages) : pages_(std::move(pages)) { read_catalog(); }

  ~Writer() override {
    try {
      close();
    } catch (...) {
      // Uncommitted rows are lost; the journal keeps the file whole.
    }
  }

  const Database& database() const override {
    throw JetError(pages_->path().string() + ": reading through the writer is not available yet");
  }

  const TableDef& table(std::string_view name) const override {
    auto it = tables_.find(folded(name));
    if (it == tables_.end()) throw JetError(pages_->path().string() + ": no table named " + std::string(name));
    return it->second.definition;
  }

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

  void append(const TableDef& table, std::vector<FieldValue> values) override {
    ensure_open();
    Entry& entry = entry_for(table);
    const std::string where = "table " + table.name;
    if (values.size() != table.columns.size())
      throw ValueError(where + ": a row needs " + std::to_string(table.columns.size()) + " values, not " +
                       std::to_string(values.size()));
    std::vector<FieldValue> by_layout(entry.writer->layout().columns.size());
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const Column& c = table.columns[i];
      const bool is_text = c.type == ColumnType::Text || c.type == ColumnType::Memo;
      if (values[i].is_null() && c.required && !c.autonumber)
        throw ConstraintError(where + ": column " + c.name + " is required, but the row leaves it Null");
      if (is_text && !c.allow_zero_length && values[i].is<std::string>() && values[i].as<std::string>().empty())
        throw ConstraintError(where + ": column " + c.name + " does not allow a zero-length text");
      by_layout.at(entry.position_of_number.at(c.number)) = std::move(values[i]);
    }
    try {
      entry.writer->append(std::move(by_layout));
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
    if (pending_rows_ >= kCommitRows || std::chrono::steady_clock::now() - last_commit_ >= kCommitInterval)
      commit();
  }

  void commit() override {
    ensure_open();
    for (auto& [name, entry] : tables_) entry.writer->flush();
    pages_->commit();
    pending_rows_ = 0;
    last_commit_ = std::chrono::steady_clock::now();
  }

  void close() override {
    if (closed_) return;
    commit();
    pages_->close();
    closed_ = true;
  }

  PageStore& pages() { return *pages_; }

 private:
  struct Entry {
    TableDef definition;
    std::unique_ptr<TableWriter> writer;
    std::map<uint16_t, size_t> position_of_number;
  };

  void ensure_open() const {
    if (closed_) throw JetError(pages_->path().string() + ": the writer has been closed");
  }

  void discard() {
    pages_->discard_changes();
    for (auto& [name, entry] : tables_) entry.writer->reload();
    pending_rows_ = 0;
  }

  Entry& entry_for(const TableDef& table) {
    for (auto& [name, entry] : tables_)
      if (entry.writer->layout().definition_page == table.definition_page) return entry;
    throw JetError(pages_->path().string() + ": table " + table.name + " is not a table of this file");
  }

  uint32_t allocate() {
    const uint32_t page = pages_->allocate();
    UsageMapWriter(*pages_, kGlobalUsageMap, [this] { return allocate(); }).remove_if_covered(page);
    return page;
  }

  void read_catalog() {
    const TableLayout catalog = TableLayout::read(*pages_, kCatalogPage);
    int name_at = -1, type_at = -1, id_at = -1, flags_at = -1;
    for (size_t i = 0; i < catalog.columns.size(); ++i) {
      const std::string n = folded(catalog.columns[i].name);
      if (n == "name") name_at = static_cast<int>(i);
      if (n == "type") type_at = static_cast<int>(i);
      if (n == "id") id_at = static_cast<int>(i);
      if (n == "flags") flags_at = static_cast<int>(i);
    }
    if (name_at < 0 || type_at < 0 || id_at < 0)
      throw JetError(pages_->path().string() + ": the catalog lacks its Name, Type or Id column");
    UsageMapWriter owned(*pages_, catalog.owned_pages_map, [this] { return allocate(); });
    for (uint32_t page : owned.pages()) {
      const uint8_t* p = pages_->read(page);
      if (p[0] != 0x01 || bytes::get32(p + 4) != kCatalogPage) continue;
      for (unsigned r = 0; r < row_page::row_count(p); ++r) {
        bool deleted = false;
        auto row = stored_row_at(*pages_, page << 8 | r, deleted);
        if (deleted) continue;
        auto values = decode_stored_row(*pages_, catalog, row);
        const auto& type = values[static_cast<size_t>(type_at)];
        const auto& flags = flags_at >= 0 ? values[static_cast<size_t>(flags_at)] : FieldValue();
        if (!type.is<int64_t>() || type.as<int64_t>() != kUserTable) continue;
        if (flags.is<int64_t>() && (static_cast<uint32_t>(flags.as<int64_t>()) & kSystemFlags)) continue;
        const auto& name = values[static_cast<size_t>(name_at)];
        const auto& id = values[static_cast<size_t>(id_at)];
        if (!name.is<std::string>() || !id.is<int64_t>()) continue;
        add_table(name.as<std::string>(), static_cast<uint32_t>(id.as<int64_t>()) & 0x00FFFFFF);
      }
    }
  }

  void add_table(const std::string& name, uint32_t definition_page) {
    Entry entry;
    entry.writer = std::make_unique<TableWriter>(*pages_, name, definition_page, [this] { return allocate(); });
    const TableLayout& layout = entry.writer->layout();
    TableDef& def = entry.definition;
    def.name = name;
    def.definition_page = definition_page;
    def.row_count = layout.row_count;
    std::vector<const ColumnLayout*> ordered;
    for (const auto& c : layout.columns) ordered.push_back(&c);
    std::sort(ordered.begin(), ordered.end(),
              [](const ColumnLayout* a, const ColumnLayout* b) { return a->number < b->number; });
    for (const ColumnLayout* c : ordered) {
      Column col;
      col.name = c->name;
      col.type = c->type;
      col.number = c->number;
      col.position = static_cast<uint16_t>(def.columns.size());
      col.size = c->size;
      col.precision = c->precision;
      col.scale = c->scale;
      col.fixed = c->fixed;
      col.autonumber = c->autonumber || c->guid_autonumber;
      col.variable_index = c->variable_index;
      col.fixed_offset = c->fixed_offset;
      col.compressed_unicode = c->compressed_unicode;
      def.columns.push_back(col);
    }
    for (size_t i = 0; i < layout.columns.size(); ++i) entry.position_of_number[layout.columns[i].number] = i;
    for (const auto& logical : layout.logical_indexes) {
      const RealIndexLayout& real = layout.real_indexes.at(static_cast<size_t>(logical.real_index));
      Index index;
      index.name = logical.name;
      index.primary = logical.primary;
      index.foreign = logical.foreign;
      index.unique = real.unique();
      index.ignore_nulls = real.ignore_nulls();
      index.root_page = real.root_page;
      index.real_index = logical.real_index;
      for (const auto& ic : real.columns)
        for (const auto& col : def.columns)
          if (col.number == ic.column_number) index.columns.push_back({col.position, ic.ascending});
      def.indexes.push_back(index);
    }
    tables_.emplace(folded(name), std::move(entry));
  }

  std::unique_ptr<PageStore> pages_;
  std::map<std::string, Entry> tables_;
  uint32_t pending_rows_ = 0;
  std::chrono::steady_clock::time_point last_commit_ = std::chrono::steady_clock::now();
  bool closed_ = false;
};

}  // namespace

DatabaseWriter::~DatabaseWriter() = default;

std::unique_ptr<DatabaseWriter> DatabaseWriter::open(const std::filesystem::path& path) {
  return std::make_unique<Writer>(PageStore::open(path));
}

}  // namespace halvaro::jet
