#include "jet/catalog/database.h"

#include <map>
#include <stdexcept>
#include <utility>

#include "jet/pages/data_page.h"
#include "jet/catalog/property_blob.h"
#include "jet/tables/row_decoder.h"
#include "jet/catalog/saved_query.h"
#include "jet/tables/table_scan.h"

namespace halvaro::jet {

struct Database::State {
  std::shared_ptr<const PageSource> pages;
  std::filesystem::path path;
  Header header;
  std::vector<CatalogEntry> catalog;
  // Definitions are read on first use, so one damaged table does not stop the rest.
  mutable std::map<size_t, std::unique_ptr<TableDef>> tables;  // by catalog index

  const FormatLayout& layout() const { return layout_of(header.format); }

  [[noreturn]] void fail(const std::string& what) const {
    throw JetError(path.string() + ": " + what);
  }

  // Runs fn, turning format damage into an error that names the file.
  template <class Fn>
  auto guarded(Fn&& fn) const -> decltype(fn()) {
    try {
      return fn();
    } catch (const CorruptData& e) {
      fail(e.what());
    }
  }

  const CatalogEntry* find_entry(std::string_view name, ObjectType type, size_t* index) const {
    for (size_t i = 0; i < catalog.size(); ++i) {
      if (catalog[i].is(type) && names_equal(catalog[i].name, name)) {
        if (index != nullptr) *index = i;
        return &catalog[i];
      }
    }
    return nullptr;
  }

  const TableDef& load_table(size_t index) const {
    auto& slot = tables[index];
    if (!slot) {
      const CatalogEntry& entry = catalog[index];
      auto def = std::make_unique<TableDef>(guarded([&] {
        return read_table_definition(*pages, entry.definition_page(), layout(), header.code_page);
      }));
      def->name = entry.name;
      apply_properties(entry, *def);
      slot = std::move(def);
    }
    return *slot;
  }

  void apply_properties(const CatalogEntry& entry, TableDef& def) const {
    const auto maps = guarded([&] {
      return parse_property_blob(entry.properties, layout(), header.code_page);
    });
    for (Column& column : def.columns) {
      const PropertyMap* map = find_property_map(maps, column.name);
      if (map == nullptr) continue;
      if (const Property* p = map->find("DefaultValue"); p != nullptr && p->value.is<std::string>())
        column.default_value = p->value.as<std::string>();
      if (const Property* p = map->find("Required"); p != nullptr && p->value.is<bool>())
        column.required = p->value.as<bool>();
      if (const Property* p = map->find("AllowZeroLength"); p != nullptr && p->value.is<bool>())
        column.allow_zero_length = p->value.as<bool>();
    }
  }
};

Database::Database(std::unique_ptr<State> state) : state_(std::move(state)) {}
Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::filesystem::path& path, Sharing sharing) {
  return open(FilePageSource::open(path, sharing), path);
}

std::unique_ptr<Database> Database::open(std::shared_ptr<const PageSource> pages,
                                         const std::filesystem::path& path) {
  auto state = std::make_unique<State>();
  state->pages = std::move(pages);
  state->path = path;
  state->header = state->guarded([&] { return read_header(state->pages->page(0)); });
  if (state->pages->page_size() != state->layout().page_size)
    state->fail("page size " + std::to_string(state->pages->page_size()) +
                " does not match the format");
  if (state->header.encryption_key != 0)
    state->fail("the database is encrypted; decrypt it in Access before using it here");
  if (state->header.password_protected)
    state->fail("the database is password-protected; remove the password in Access before using it here");
  state->catalog = state->guarded(
      [&] { return read_catalog(*state->pages, state->layout(), state->header.code_page); });
  return std::unique_ptr<Database>(new Database(std::move(state)));
}

Format Database::format() const { return state_->header.format; }
const std::filesystem::path& Database::path() const { return state_->path; }
const Header& Database::header() const { return state_->header; }
const PageSource& Database::pages() const { return *state_->pages; }
const std::vector<CatalogEntry>& Database::catalog() const { return state_->catalog; }

std::vector<std::string> Database::table_names() const {
  std::vector<std::string> names;
  for (const CatalogEntry& entry : state_->catalog)
    if (entry.is(ObjectType::Table) && !entry.is_system()) names.push_back(entry.name);
  return names;
}

std::vector<std::string> Database::query_names() const {
  std::vector<std::string> names;
  for (const CatalogEntry& entry : state_->catalog)
    if (entry.is(ObjectType::Query)) names.push_back(entry.name);
  return names;
}

const TableDef* Database::find_table(std::string_view name) const {
  size_t index = 0;
  if (state_->find_entry(name, ObjectType::Table, &index) == nullptr) return nullptr;
  return &state_->load_table(index);
}

const TableDef& Database::table(std::string_view name) const {
  const TableDef* def = find_table(name);
  if (def == nullptr) state_->fail("no table named " + std::string(name));
  return *def;
}

std::optional<int32_t> Database::object_id(std::string_view name) const {
  for (const CatalogEntry& entry : state_->catalog)
    if ((entry.is(ObjectType::Table) || entry.is(ObjectType::Query)) && names_equal(entry.name, name))
      return entry.id;
  return std::nullopt;
}

void Database::each_row(const TableDef& table, std::vector<FieldValue>* values, const std::vector<bool>* wanted,
                        const std::function<bool(RowLocation)>& visit) const {
  RowDecoder decoder(table, *state_->pages, state_->header.code_page);
  // Damage is an error naming the file and the table, never a shorter table.
  state_->guarded([&] {
    try {
      for_each_row(*state_->pages, table, [&](std::span<const uint8_t> row, RowLocation at) {
        try {
          if (values == nullptr) decoder.check(row);
          else if (wanted != nullptr) decoder.decode_some(row, *values, *wanted);
          else decoder.decode(row, *values);
        } catch (const CorruptData& e) {
          throw CorruptData("row " + std::to_string(at.row) + " on page " + std::to_string(at.page) + ": " +
                            e.what());
        }
        return visit(at);
      });
    } catch (const CorruptData& e) {
      throw CorruptData("table " + table.name + ": " + e.what());
    }
  });
}

void Database::scan_with_location(
    const TableDef& table,
    const std::function<bool(std::span<const FieldValue>, RowLocation)>& visit) const {
  std::vector<FieldValue> values;
  each_row(table, &values, nullptr, [&](RowLocation at) { return visit(values, at); });
}

void Database::scan_columns_with_location(
    const TableDef& table, const std::vector<bool>& wanted,
    const std::function<bool(std::span<const FieldValue>, RowLocation)>& visit) const {
  if (wanted.size() != table.columns.size()) throw std::invalid_argument("scan: one mark per column is wanted");
  std::vector<FieldValue> values;
  each_row(table, &values, &wanted, [&](RowLocation at) { return visit(values, at); });
}

void Database::check_rows(const TableDef& table, const std::function<void()>& row_checked) const {
  each_row(table, nullptr, nullptr, [&](RowLocation) {
    if (row_checked) row_checked();
    return true;
  });
}

void Database::scan(const TableDef& table,
                    const std::function<bool(std::span<const FieldValue>)>& visit) const {
  scan_with_location(table, [&](std::span<const FieldValue> values, RowLocation) { return visit(values); });
}

std::vector<FieldValue> Database::read_row(const TableDef& table, RowLocation at) const {
  return state_->guarded([&] {
    RowDecoder decoder(table, *state_->pages, state_->header.code_page);
    std::vector<FieldValue> values;
    decoder.decode(jet::read_row(*state_->pages, at, state_->layout()), values);
    return values;
  });
}

namespace {

std::optional<std::string> text_or_null(const FieldValue& value) {
  if (value.is<std::string>()) return value.as<std::string>();
  return std::nullopt;
}

int64_t whole_or_zero(const FieldValue& value) {
  return value.is<int64_t>() ? value.as<int64_t>() : 0;
}

// MSysQueries.Order: an unsigned big-endian counter (4 bytes as Access writes it).
uint32_t big_endian_place(const Binary& bytes) {
  uint32_t place = 0;
  for (size_t i = 0; i < bytes.size() && i < 4; ++i) place = place << 8 | bytes[i];
  return place;
}

}  // namespace

std::string Database::query_sql(std::string_view name) const {
  const std::vector<QueryRow> rows = query_rows(name);  // throws when there is no such query
  const std::string& stored_name = state_->find_entry(name, ObjectType::Query, nullptr)->name;
  try {
    return rebuild_query_sql(rows, stored_name);
  } catch (const JetError& e) {
    state_->fail(e.what());
  }
}

std::vector<QueryRow> Database::query_rows(std::string_view name) const {
  const CatalogEntry* entry = state_->find_entry(name, ObjectType::Query, nullptr);
  if (entry == nullptr) state_->fail("no saved query named " + std::string(name));
  const TableDef* queries = find_table("MSysQueries");
  if (queries == nullptr) state_->fail("the catalog has no MSysQueries table");

  // Columns by name; LvExtra is missing from Jet 3 files.
  const auto position = [&](std::string_view column) -> std::optional<size_t> {
    const Column* found = queries->find_column(column);
    return found != nullptr ? std::optional<size_t>(found->position) : std::nullopt;
  };
  const auto object_id = position("ObjectId"), attribute = position("Attribute"),
             expression = position("Expression"), flag = position("Flag"), name1 = position("Name1"),
             name2 = position("Name2"), extra = position("LvExtra"),
             order = position("Order");
  if (!object_id || !attribute) state_->fail("MSysQueries lacks its ObjectId or Attribute column");

  std::vector<QueryRow> rows;
  scan(*queries, [&](std::span<const FieldValue> values) {
    if (whole_or_zero(values[*object_id]) != entry->id) return true;
    QueryRow row;
    row.object_id = entry->id;
    row.attribute = static_cast<QueryAttribute>(whole_or_zero(values[*attribute]));
    if (expression) row.expression = text_or_null(values[*expression]);
    if (flag) row.flag = static_cast<int>(whole_or_zero(values[*flag]));
    if (name1) row.name1 = text_or_null(values[*name1]);
    if (name2) row.name2 = text_or_null(values[*name2]);
    if (extra && values[*extra].is<int64_t>())
      row.extra = static_cast<int32_t>(values[*extra].as<int64_t>());
    if (order && values[*order].is<Binary>()) row.order = big_endian_place(values[*order].as<Binary>());
    rows.push_back(std::move(row));
    return true;
  });
  return rows;
}

}  // namespace halvaro::jet
