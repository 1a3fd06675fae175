#include "tools/sort_fixture.h"

#include <functional>
#include <set>
#include <stdexcept>
#include <unordered_map>

#include "jet/catalog/database.h"
#include "jet/indexes/index_key.h"
#include "jet/indexes/index_page.h"

namespace halvaro::tools {

using namespace halvaro::jet;

namespace {

size_t column_of(const TableDef& table, std::string_view name) {
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].name == name) return i;
  throw std::runtime_error("table Characters has no column " + std::string(name));
}

const RealIndex& index_named(const TableDef& table, std::string_view name) {
  for (const Index& logical : table.indexes)
    if (logical.name == name) return table.real_indexes.at(static_cast<size_t>(logical.real_index));
  throw std::runtime_error("table Characters has no index " + std::string(name));
}

// Calls `visit` with every leaf entry of an index (key and row address).
void each_leaf_entry(const PageSource& pages, uint32_t root, const std::function<void(Entry)>& visit) {
  std::set<uint32_t> seen;
  std::function<void(uint32_t)> walk = [&](uint32_t page) {
    if (page == 0 || page >= pages.page_count() || !seen.insert(page).second) return;
    IndexNode node = index_page::decode(pages.page(page).data(), page);
    for (size_t i = 0; i < node.entries.size(); ++i) {
      if (node.leaf)
        visit(node.entries[i]);
      else
        walk(index_page::child_of(node.entries[i]));
    }
    if (!node.leaf) walk(node.tail);
  };
  walk(root);
}

}  // namespace

std::u16string utf16_of(uint32_t code) {
  if (code < 0x10000) return std::u16string(1, static_cast<char16_t>(code));
  const uint32_t v = code - 0x10000;
  return {static_cast<char16_t>(0xD800 + (v >> 10)), static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
}

std::vector<FixtureRow> read_sort_fixture(const std::filesystem::path& file) {
  auto db = Database::open(file);
  const TableDef& table = db->table("Characters");
  const size_t code = column_of(table, "Code"), alone = column_of(table, "Alone"),
               between = column_of(table, "Between"), twice = column_of(table, "Twice");
  std::vector<FixtureRow> rows;
  std::unordered_map<uint32_t, size_t> by_address;
  db->scan_with_location(table, [&](std::span<const FieldValue> values, RowLocation at) {
    FixtureRow row;
    row.code = static_cast<uint32_t>(values[code].as<int64_t>());
    row.alone = utf16_of(row.code);
    row.between = u"a" + row.alone + u"b";
    row.twice = u"A" + row.alone + row.alone;
    row.stored_alone = values[alone].as<std::string>();
    row.stored_between = values[between].as<std::string>();
    row.stored_twice = values[twice].as<std::string>();
    by_address.emplace(at.page << 8 | at.row, rows.size());
    rows.push_back(std::move(row));
    return true;
  });

  auto take = [&](std::string_view index_name, std::vector<uint8_t> FixtureRow::*key, size_t cut_after) {
    const RealIndex& index = index_named(table, index_name);
    each_leaf_entry(db->pages(), index.root_page, [&](Entry e) {
      auto row = by_address.find(index_page::row_pointer_of(e, true));
      if (row == by_address.end()) throw std::runtime_error(std::string(index_name) + ": an entry points at no row");
      const size_t n = index_page::key_length(e, true) - cut_after;
      rows[row->second].*key = std::vector<uint8_t>(e.begin(), e.begin() + static_cast<long>(n));
    });
  };
  take("AloneIdx", &FixtureRow::alone_key, 0);
  take("BetweenIdx", &FixtureRow::between_key, 0);
  take("TwiceIdx", &FixtureRow::twice_key, 5);  // the Code part: flag and 4 bytes
  return rows;
}

}  // namespace halvaro::tools
