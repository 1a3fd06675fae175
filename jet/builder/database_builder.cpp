#include "jet/builder/database_builder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>

#include "jet/builder/build_bytes.h"
#include "jet/builder/build_rows.h"
#include "jet/builder/system_catalog.h"
#include "jet/builder/table_definition_writer.h"
#include "jet/indexes/index_page.h"

namespace halvaro::jet {

using build::add16;
using build::add32;
using build::Bytes;
using build::put16;
using build::put32;

namespace {

constexpr size_t kPageSize = 4096;
constexpr size_t kDataPageHeader = 14;     // type, 1, free space, owner, 0, row count
constexpr size_t kIndexEntryStart = 0x1E0; // first entry of an index page
constexpr size_t kIndexMaskStart = 0x1B;   // bitmap marking where entries end
constexpr size_t kUsageMapBytes = 64;      // an inline map covers 512 pages
constexpr uint8_t kDataPage = 0x01;
constexpr uint8_t kLeafPage = 0x04;

Bytes blank_page() { return Bytes(kPageSize, 0); }

// A data page holding `rows` from the end of the page downwards.
Bytes data_page(uint32_t owner, const std::vector<Bytes>& rows) {
  Bytes page = blank_page();
  page[0] = kDataPage;
  page[1] = 0x01;
  put32(page, 4, owner);
  put16(page, 12, static_cast<uint32_t>(rows.size()));
  size_t end = kPageSize;
  size_t used = kDataPageHeader;
  for (size_t i = 0; i < rows.size(); ++i) {
    end -= rows[i].size();
    std::copy(rows[i].begin(), rows[i].end(), page.begin() + static_cast<std::ptrdiff_t>(end));
    put16(page, kDataPageHeader + 2 * i, static_cast<uint32_t>(end));
    used += 2 + rows[i].size();
  }
  put16(page, 2, static_cast<uint32_t>(kPageSize - used));
  return page;
}

// An inline usage map row: type 0, first page 0, one bit per page.
Bytes usage_map_row(const std::vector<uint32_t>& pages, bool beyond_set = false, uint32_t from = 0) {
  Bytes row(5 + kUsageMapBytes, 0);
  for (uint32_t p : pages) {
    if (p >= kUsageMapBytes * 8) throw JetError("the new database is too large for its usage maps");
    row[5 + p / 8] = static_cast<uint8_t>(row[5 + p / 8] | (1u << (p % 8)));
  }
  if (beyond_set)
    for (uint32_t p = from; p < kUsageMapBytes * 8; ++p)
      row[5 + p / 8] = static_cast<uint8_t>(row[5 + p / 8] | (1u << (p % 8)));
  return row;
}

// A leaf index page holding `entries` (already sorted), with no prefix compression.
Bytes leaf_page(uint32_t owner, const std::vector<Bytes>& entries, const std::string& what) {
  Bytes page = blank_page();
  page[0] = kLeafPage;
  page[1] = 0x01;
  put32(page, 4, owner);
  size_t total = 0;
  for (const Bytes& e : entries) {
    if (kIndexEntryStart + total + e.size() > kPageSize)
      throw JetError(what + ": too many catalog entries for one index page");
    std::copy(e.begin(), e.end(), page.begin() + static_cast<std::ptrdiff_t>(kIndexEntryStart + total));
    total += e.size();
    page[kIndexMaskStart + total / 8] = static_cast<uint8_t>(page[kIndexMaskStart + total / 8] | (1u << (total % 8)));
  }
  put16(page, 2, static_cast<uint32_t>(kPageSize - kIndexEntryStart - total));
  return page;
}

// The first page: engine name, version and the RC4-masked block with code page,
// sort order and creation date.
Bytes header_page(DateTime created) {
  Bytes page = blank_page();
  page[1] = 0x01;
  const char* engine = "Standard Jet DB";
  std::memcpy(page.data() + 4, engine, std::strlen(engine) + 1);
  page[0x14] = 0x01;  // Jet 4
  // Constants every Jet 4 file holds at the start of the masked block.
  const uint8_t lead[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                          0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(page.data() + 0x18, lead, sizeof lead);
  put16(page, 0x3C, 1252);  // code page
  put32(page, 0x3E, 0);     // database key 0: pages are not encrypted
  // The password is stored XORed with the creation date's day number; an empty
  // password therefore reads as that mask repeated.
  auto mask = static_cast<uint32_t>(static_cast<int32_t>(created.days));
  for (size_t at = 0x42; at < 0x42 + 40; at += 4) put32(page, at, mask);
  put16(page, 0x6A, 0x21AA);
  put16(page, 0x6E, 0x0409);  // sort order "General", version 0
  Bytes date;
  build::add_double(date, created.days);
  std::copy(date.begin(), date.end(), page.begin() + 0x72);
  put32(page, 0x98, 0x0654);
  std::memcpy(page.data() + 0x9C, "4.0", 4);
  page[0xE00] = 0x01;
  page[0xE01] = 0x01;
  for (size_t at = 0xE02; at < kPageSize; at += 2) page[at + 1] = 0x01;

  // RC4 over the 128 bytes from 0x18 with Jet 4's fixed key.
  const uint8_t key[] = {0xC7, 0xDA, 0x39, 0x6B};
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (int n = 0, i = 0, j = 0; n < 128; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    page[0x18 + static_cast<size_t>(n)] ^= s[(s[i] + s[j]) & 0xFF];
  }
  return page;
}

// One table while the file is laid out.
struct TablePlan {
  TableSpec spec;
  RowLayout layout;
  std::vector<uint32_t> definition_pages;
  uint32_t map_page = 0;
  std::vector<uint32_t> index_roots;
  std::vector<std::vector<FieldValue>> rows;
  std::vector<uint32_t> data_pages;
  uint32_t next_autonumber = 0;
};

class FileLayout {
 public:
  explicit FileLayout(DateTime created) : created_(created) { pages_.resize(2); }

  uint32_t allocate() {
    pages_.push_back(blank_page());
    return static_cast<uint32_t>(pages_.size() - 1);
  }

  // Reserves the definition pages of a table; the catalog's tables take pages 2 to 5
  // because their ids are those page numbers.
  void plan_definition(TableSpec spec) {
    TablePlan t;
    t.layout = layout_of(spec);
    TableDefinitionPlacement dummy;
    dummy.index_roots.assign(spec.indexes.size(), 0);
    size_t size = encode_table_definition(spec, dummy).size();
    size_t count = size <= kPageSize ? 1 : 1 + (size - kPageSize + kPageSize - 9) / (kPageSize - 8);
    for (size_t i = 0; i < count; ++i) t.definition_pages.push_back(allocate());
    if (usage_map_count(spec) * (2 + 5 + kUsageMapBytes) + kDataPageHeader > kPageSize)
      throw JetError("table " + spec.name + ": too many indexes and long-value columns");
    t.spec = std::move(spec);
    tables_.push_back(std::move(t));
  }

  // Reserves the usage-map page and the index root pages of a planned table.
  void plan_pages(TablePlan& t) {
    t.map_page = allocate();
    for (size_t i = 0; i < t.spec.indexes.size(); ++i) t.index_roots.push_back(allocate());
  }

  TablePlan& table(size_t i) { return tables_[i]; }
  size_t table_count() const { return tables_.size(); }

  // Writes a table's rows onto fresh data pages, its index leaves, usage maps and
  // definition.
  void finish(TablePlan& t) {
    const uint32_t owner = t.definition_pages.front();
    std::vector<Bytes> encoded;
    for (const auto& values : t.rows) encoded.push_back(build::encode_row(t.spec, t.layout, values));

    std::vector<std::pair<uint32_t, uint8_t>> where;  // page and row of each row
    std::vector<Bytes> on_page;
    size_t used = kDataPageHeader;
    auto flush = [&] {
      if (on_page.empty()) return;
      uint32_t page = allocate();
      pages_[page] = data_page(owner, on_page);
      t.data_pages.push_back(page);
      on_page.clear();
      used = kDataPageHeader;
    };
    std::vector<size_t> page_of_row;
    for (size_t r = 0; r < encoded.size(); ++r) {
      if (encoded[r].size() + 2 + kDataPageHeader > kPageSize)
        throw JetError("table " + t.spec.name + ": a catalog row does not fit a page");
      if (used + encoded[r].size() + 2 > kPageSize || on_page.size() == 255) flush();
      page_of_row.push_back(t.data_pages.size());
      where.push_back({0, static_cast<uint8_t>(on_page.size())});
      on_page.push_back(encoded[r]);
      used += encoded[r].size() + 2;
    }
    flush();
    for (size_t r = 0; r < where.size(); ++r) where[r].first = t.data_pages[page_of_row[r]];

    for (size_t i = 0; i < t.spec.indexes.size(); ++i) {
      std::vector<Bytes> entries;
      for (size_t r = 0; r < t.rows.size(); ++r) {
        Bytes e = build::encode_index_key(t.spec, t.spec.indexes[i], t.rows[r]);
        e.push_back(static_cast<uint8_t>(where[r].first >> 16));  // row pointer, big-endian
        e.push_back(static_cast<uint8_t>(where[r].first >> 8));
        e.push_back(static_cast<uint8_t>(where[r].first));
        e.push_back(where[r].second);
        entries.push_back(std::move(e));
      }
      // Index order (key, then row address); also spares GCC 12 -O3 a false
      // -Wstringop-overread in the library's byte-vector comparison.
      std::sort(entries.begin(), entries.end(), [](const Bytes& a, const Bytes& b) {
        return index_page::compare_entries(a, b, true) < 0;
      });
      pages_[t.index_roots[i]] = leaf_page(owner, entries, "index " + t.spec.indexes[i].name);
    }

    // Usage maps: owned and free-space pages, one map per index, two per long value.
    std::vector<Bytes> maps = {usage_map_row(t.data_pages), usage_map_row(t.data_pages)};
    for (uint32_t root : t.index_roots) maps.push_back(usage_map_row({root}));
    while (maps.size() < static_cast<size_t>(usage_map_count(t.spec))) maps.push_back(usage_map_row({}));
    pages_[t.map_page] = data_page(0, maps);

    TableDefinitionPlacement at;
    at.map_page = t.map_page;
    at.index_roots = t.index_roots;
    at.row_count = static_cast<uint32_t>(t.rows.size());
    at.next_autonumber = t.next_autonumber;
    Bytes definition = encode_table_definition(t.spec, at);
    place_definition(t, definition);
  }

  void write(const std::filesystem::path& path) {
    pages_[0] = header_page(created_);
    // Page 1: the database's map of pages free for reuse; none are, and every page
    // past the end of the file counts as free.
    auto total = static_cast<uint32_t>(pages_.size());
    pages_[1] = data_page(1, {usage_map_row({}, true, total), usage_map_row({})});

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw JetError(path.string() + ": cannot create the file: " + std::strerror(errno));
    for (const Bytes& p : pages_) out.write(reinterpret_cast<const char*>(p.data()), static_cast<std::streamsize>(p.size()));
    out.flush();
    if (!out) throw JetError(path.string() + ": writing failed: " + std::strerror(errno));
  }

 private:
  void place_definition(const TablePlan& t, const Bytes& definition) {
    size_t offset = 0;
    for (size_t i = 0; i < t.definition_pages.size(); ++i) {
      Bytes& page = pages_[t.definition_pages[i]];
      page = blank_page();
      if (i == 0) {
        size_t n = std::min(definition.size(), kPageSize);
        std::copy(definition.begin(), definition.begin() + static_cast<std::ptrdiff_t>(n), page.begin());
        offset = n;
        if (definition.size() <= kPageSize) put16(page, 2, static_cast<uint32_t>(kPageSize - definition.size() - 8));
      } else {
        page[0] = 0x02;
        page[1] = 0x01;
        size_t n = std::min(definition.size() - offset, kPageSize - 8);
        std::copy(definition.begin() + static_cast<std::ptrdiff_t>(offset),
                  definition.begin() + static_cast<std::ptrdiff_t>(offset + n), page.begin() + 8);
        offset += n;
      }
      if (i + 1 < t.definition_pages.size()) put32(page, 4, t.definition_pages[i + 1]);
    }
  }

  DateTime created_;
  std::vector<Bytes> pages_;
  std::vector<TablePlan> tables_;
};

// Access leaves Flag null on the rows whose kind has no flag.
bool stores_flag(QueryAttribute a) {
  return a != QueryAttribute::Table && a != QueryAttribute::Where && a != QueryAttribute::Having &&
         a != QueryAttribute::OrderBy && a != QueryAttribute::End;
}

// MSysQueries.Order: a row's place among its query's rows of the same attribute,
// counting from 1, as 4 big-endian bytes. With ObjectId and Attribute it forms the
// table's unique primary key, so it can never be left empty.
Binary query_row_order(uint32_t place) {
  return {static_cast<uint8_t>(place >> 24), static_cast<uint8_t>(place >> 16),
          static_cast<uint8_t>(place >> 8), static_cast<uint8_t>(place)};
}

}  // namespace

DatabaseBuilder::DatabaseBuilder(DateTime created) : created_(created) {}

bool DatabaseBuilder::has_object(const std::string& name) const {
  for (const auto& t : catalog::system_tables())
    if (same_name(t.name, name)) return true;
  for (const auto& t : tables_)
    if (same_name(t.name, name)) return true;
  for (const auto& q : queries_)
    if (same_name(q.name, name)) return true;
  return false;
}

const TableSpec* DatabaseBuilder::find_table(const std::string& name) const {
  for (const auto& t : tables_)
    if (same_name(t.name, name)) return &t;
  return nullptr;
}

void DatabaseBuilder::add_table(TableSpec table) {
  validate(table);
  if (has_object(table.name)) throw JetError("an object named " + table.name + " already exists");
  table.system = false;
  tables_.push_back(std::move(table));
}

void DatabaseBuilder::add_index(const std::string& table, IndexSpec index) {
  for (TableSpec& t : tables_) {
    if (!same_name(t.name, table)) continue;
    TableSpec changed = t;
    changed.indexes.push_back(std::move(index));
    validate(changed);
    t = std::move(changed);
    return;
  }
  throw JetError("index " + index.name + ": no table named " + table);
}

void DatabaseBuilder::add_query(QuerySpec query) {
  if (query.name.empty()) throw JetError("a query needs a name");
  if (has_object(query.name)) throw JetError("an object named " + query.name + " already exists");
  queries_.push_back(std::move(query));
}

void DatabaseBuilder::write(const std::filesystem::path& path) const {
  if (std::filesystem::exists(path))
    throw JetError(path.string() + " already exists; choose a new file name");

  FileLayout file(created_);
  for (TableSpec& system : catalog::system_tables()) file.plan_definition(std::move(system));
  const size_t first_user = file.table_count();
  for (size_t i = 0; i < first_user; ++i) file.plan_pages(file.table(i));
  for (const TableSpec& t : tables_) {
    file.plan_definition(t);
    file.plan_pages(file.table(file.table_count() - 1));
  }

  TablePlan& objects = file.table(0);
  TablePlan& aces = file.table(1);
  TablePlan& queries = file.table(2);

  std::vector<catalog::ObjectRow> rows = catalog::initial_objects();
  aces.rows = catalog::initial_access_entries();
  for (size_t i = first_user; i < file.table_count(); ++i) {
    const TablePlan& t = file.table(i);
    auto id = static_cast<int32_t>(t.definition_pages.front());
    rows.push_back({id, catalog::kTablesId, t.spec.name, catalog::kTypeTable, 0, false,
                    catalog::table_properties(t.spec)});
    for (auto& a : catalog::access_entries_for(id)) aces.rows.push_back(std::move(a));
  }
  int32_t query_id = catalog::kFirstQueryId;
  for (const QuerySpec& q : queries_) {
    rows.push_back({query_id, catalog::kTablesId, q.name, catalog::kTypeQuery, 0, false, {}});
    for (auto& a : catalog::access_entries_for(query_id)) aces.rows.push_back(std::move(a));
    std::map<QueryAttribute, uint32_t> places;
    for (const QueryRow& r : q.rows) {
      std::vector<FieldValue> v(8);
      v[0] = int64_t{query_id};
      v[1] = int64_t{static_cast<int>(r.attribute)};
      v[2] = query_row_order(r.order != 0 ? r.order : ++places[r.attribute]);
      if (r.name1) v[3] = *r.name1;
      if (r.name2) v[4] = *r.name2;
      if (r.expression) v[5] = *r.expression;
      if (stores_flag(r.attribute)) v[6] = int64_t{r.flag};
      if (r.extra) v[7] = int64_t{*r.extra};
      queries.rows.push_back(std::move(v));
    }
    ++query_id;
  }
  for (const auto& r : rows) objects.rows.push_back(catalog::object_values(r, created_));

  for (size_t i = 0; i < file.table_count(); ++i) file.finish(file.table(i));
  file.write(path);
}

}  // namespace halvaro::jet
