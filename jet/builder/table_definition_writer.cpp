#include "jet/builder/table_definition_writer.h"

#include <algorithm>

#include "jet/builder/build_bytes.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

using build::add16;
using build::add32;
using build::add8;
using build::Bytes;

namespace {

// Values every Jet 4 definition carries in fields whose meaning is not known.
constexpr uint32_t kTableMagic = 0x0659;
constexpr uint32_t kIndexMagic = 0x0783;
constexpr uint16_t kGeneralSortOrder = 0x0409;

// Column flag bits beyond those the reader knows (jet/tables/table_definition.h): set by Jet
// on every catalog column; 0x20 also on its binary (SID) columns.
constexpr uint8_t kCatalogColumn = 0x10;
constexpr uint8_t kCatalogBinary = 0x20;

constexpr uint8_t kJet4Index = 0x80;  // present on every index Access 2000 and later write

uint16_t fixed_size_of(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return 1;
    case ColumnType::Byte: return 1;
    case ColumnType::Integer: return 2;
    case ColumnType::Long: return 4;
    case ColumnType::Currency: return 8;
    case ColumnType::Single: return 4;
    case ColumnType::Double: return 8;
    case ColumnType::DateTime: return 8;
    case ColumnType::Guid: return 16;
    case ColumnType::Numeric: return 17;
    default: return 0;
  }
}

bool is_long_value(ColumnType type) { return type == ColumnType::Memo || type == ColumnType::Ole; }
bool is_textual(ColumnType type) { return type == ColumnType::Text || type == ColumnType::Memo; }

uint16_t column_number(const TableSpec& table, const std::string& name) {
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (same_name(table.columns[i].name, name)) return static_cast<uint16_t>(i);
  throw JetError("table " + table.name + ": no column " + name);
}

uint8_t index_flags(const IndexSpec& index) {
  uint8_t flags = kJet4Index;
  if (index.unique || index.primary) flags |= kIndexUnique;
  if (index.required) flags |= kIndexRequired;
  if (index.ignore_nulls) flags |= kIndexIgnoreNulls;
  return flags;
}

void add_map_ref(Bytes& b, MapRef ref) {
  add8(b, ref.row);
  add8(b, ref.page & 0xFF);
  add16(b, ref.page >> 8);
}

}  // namespace

RowLayout layout_of(const TableSpec& table) {
  RowLayout layout;
  for (const ColumnSpec& c : table.columns) {
    ColumnPlacement p;
    p.long_value = is_long_value(c.type);
    uint16_t fixed = fixed_size_of(c.type);
    if (fixed > 0) {
      p.fixed = true;
      p.stored_length = fixed;
      if (c.type != ColumnType::Boolean) {  // Booleans live in the null mask
        p.fixed_offset = layout.fixed_size;
        layout.fixed_size = static_cast<uint16_t>(layout.fixed_size + fixed);
      }
    } else {
      p.var_index = layout.var_count++;
      if (c.type == ColumnType::Text) p.stored_length = static_cast<uint16_t>(c.length * 2);
      else if (c.type == ColumnType::Binary) p.stored_length = c.length;
    }
    layout.columns.push_back(p);
  }
  return layout;
}

int usage_map_count(const TableSpec& table) {
  auto long_values = std::count_if(table.columns.begin(), table.columns.end(),
                                   [](const ColumnSpec& c) { return is_long_value(c.type); });
  return 2 + static_cast<int>(table.indexes.size()) + 2 * static_cast<int>(long_values);
}

std::vector<uint8_t> encode_table_definition(const TableSpec& table,
                                             const TableDefinitionPlacement& at) {
  const RowLayout layout = layout_of(table);
  const auto column_count = static_cast<uint32_t>(table.columns.size());
  const auto index_count = static_cast<uint32_t>(table.indexes.size());
  if (at.index_roots.size() != table.indexes.size())
    throw JetError("table " + table.name + ": an index root page is missing");

  Bytes b;
  // Page header: type, a constant 1, free space (set by the caller), next page.
  add8(b, 0x02);
  add8(b, 0x01);
  add16(b, 0);
  add32(b, 0);
  add32(b, 0);  // definition length, patched below
  add32(b, kTableMagic);
  add32(b, at.row_count);
  add32(b, at.next_autonumber);
  add8(b, 0x01);  // Access only hands out autonumbers when this is set
  for (int i = 0; i < 15; ++i) add8(b, 0);
  add8(b, table.system ? 0x53 : 0x4E);
  add16(b, column_count);  // columns a row can have
  add16(b, layout.var_count);
  add16(b, column_count);
  add32(b, index_count);  // logical indexes
  add32(b, index_count);  // real indexes: one each, none shared
  add_map_ref(b, {at.map_page, 0});
  add_map_ref(b, {at.map_page, 1});

  for (uint32_t i = 0; i < index_count; ++i) {  // per real index: entry count
    add32(b, 0);
    add32(b, at.row_count);
    add32(b, 0);
  }

  for (uint32_t i = 0; i < column_count; ++i) {
    const ColumnSpec& c = table.columns[i];
    const ColumnPlacement& p = layout.columns[i];
    add8(b, static_cast<uint8_t>(c.type));
    add32(b, kTableMagic);
    add16(b, i);
    add16(b, p.var_index);
    add16(b, i);
    if (c.type == ColumnType::Numeric) {
      add8(b, c.precision);
      add8(b, c.scale);
      add16(b, 0);
    } else {
      add16(b, kGeneralSortOrder);  // text sort order; Access writes it on every column
      add16(b, 0);                  // sort order version 0: "General" of Access 2000
    }
    uint8_t flags = kColumnUpdatable;
    if (p.fixed) flags |= kColumnFixed;
    if (c.autonumber) flags |= kColumnAutoLong;
    if (table.system) flags |= kCatalogColumn;
    if (table.system && c.type == ColumnType::Binary) flags |= kCatalogBinary;
    add8(b, flags);
    add8(b, !table.system && is_textual(c.type) ? kColumnExtCompressedUnicode : 0);
    add32(b, 0);
    add16(b, p.fixed ? p.fixed_offset : 0);
    add16(b, p.stored_length);
  }
  for (const ColumnSpec& c : table.columns) build::add_name(b, c.name);

  for (uint32_t i = 0; i < index_count; ++i) {
    const IndexSpec& index = table.indexes[i];
    add32(b, kIndexMagic);
    for (size_t k = 0; k < 10; ++k) {
      if (k < index.columns.size()) {
        add16(b, column_number(table, index.columns[k].column));
        add8(b, index.columns[k].ascending ? 0x01 : 0x00);
      } else {
        add16(b, 0xFFFF);
        add8(b, 0);
      }
    }
    add_map_ref(b, {at.map_page, static_cast<uint8_t>(2 + i)});
    add32(b, at.index_roots[i]);
    add32(b, 0);
    add8(b, index_flags(index));
    for (int k = 0; k < 5; ++k) add8(b, 0);
  }
  for (uint32_t i = 0; i < index_count; ++i) {
    const IndexSpec& index = table.indexes[i];
    add32(b, kTableMagic);
    add32(b, i);  // logical index number
    add32(b, i);  // the real index it uses
    add8(b, 0);   // no foreign key: related table type, index, page, cascades
    add32(b, 0xFFFFFFFF);
    add32(b, 0);
    add8(b, 0);
    add8(b, 0);
    add8(b, index.primary ? kIndexTypePrimary : 0);
    add32(b, 0);
  }
  for (const IndexSpec& index : table.indexes) build::add_name(b, index.name);

  // Long-value columns: their own owned/free maps, after the index maps.
  uint32_t map_row = 2 + index_count;
  for (uint32_t i = 0; i < column_count; ++i) {
    if (!layout.columns[i].long_value) continue;
    add16(b, i);
    add_map_ref(b, {at.map_page, static_cast<uint8_t>(map_row++)});
    add_map_ref(b, {at.map_page, static_cast<uint8_t>(map_row++)});
  }
  add16(b, 0xFFFF);
  build::put32(b, 8, static_cast<uint32_t>(b.size()));
  return b;
}

}  // namespace halvaro::jet
