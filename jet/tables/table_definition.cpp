#include "jet/tables/table_definition.h"

#include <algorithm>
#include <string>
#include <unordered_set>

#include "jet/base/bytes.h"
#include "jet/base/text_codec.h"

namespace halvaro::jet {
namespace {

constexpr size_t kTdefPageHeader = 8;    // type, unknown, free space / "VC", next page
constexpr size_t kIndexColumnSlots = 10;  // a real index lists up to ten columns
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint16_t kMaxColumns = 255;    // Access's own limit; guards the counts

// The definition's pages joined: the first page whole, later pages without their header.
std::vector<uint8_t> read_definition_bytes(const PageSource& pages, uint32_t first,
                                           std::vector<uint32_t>& chain) {
  std::vector<uint8_t> bytes;
  std::unordered_set<uint32_t> seen;
  for (uint32_t page = first; page != 0;) {
    if (!seen.insert(page).second)
      throw CorruptData("table definition page chain loops back to page " + std::to_string(page));
    const ByteView view(pages.page(page), "table definition page");
    if (view.u8(0) != static_cast<uint8_t>(PageType::TableDefinition))
      throw CorruptData("page " + std::to_string(page) + " is not a table definition page");
    chain.push_back(page);
    const auto body = view.span().subspan(bytes.empty() ? 0 : kTdefPageHeader);
    bytes.insert(bytes.end(), body.begin(), body.end());
    page = view.u32(4);
  }
  return bytes;
}

class NameReader {
 public:
  NameReader(const ByteView& view, const FormatLayout& layout, uint16_t code_page)
      : view_(view), layout_(layout), code_page_(code_page) {}
  std::string read(size_t& pos) const {
    size_t length;
    if (layout_.name_length_size == 1) {
      length = view_.u8(pos);
      pos += 1;
    } else {
      length = view_.u16(pos);
      pos += 2;
    }
    const auto bytes = view_.bytes(pos, length);
    pos += length;
    return layout_.unicode_text ? decode_jet4_text(bytes) : decode_code_page(bytes, code_page_);
  }

 private:
  const ByteView& view_;
  const FormatLayout& layout_;
  uint16_t code_page_;
};

Column read_column(const ByteView& view, size_t at, const FormatLayout& layout) {
  Column column;
  column.type = static_cast<ColumnType>(view.u8(at));
  column.number = view.u16(at + layout.column_number);
  column.variable_index = view.u16(at + layout.column_variable_index);
  column.flags = view.u8(at + layout.column_flags);
  if (layout.column_ext_flags != 0) column.ext_flags = view.u8(at + layout.column_ext_flags);
  column.fixed_offset = view.u16(at + layout.column_fixed_offset);
  column.size = view.u16(at + layout.column_length);
  column.fixed = (column.flags & kColumnFixed) != 0;
  column.autonumber = (column.flags & (kColumnAutoLong | kColumnAutoGuid)) != 0;
  column.compressed_unicode = (column.ext_flags & kColumnExtCompressedUnicode) != 0;
  if (column.type == ColumnType::Numeric) {
    column.precision = view.u8(at + layout.column_precision);
    column.scale = view.u8(at + layout.column_scale);
  }
  const bool textual = column.type == ColumnType::Text || column.type == ColumnType::Memo;
  if (textual) {
    if (layout.format == Format::Jet3) {
      column.sort_order = view.u16(at + 9);
      column.code_page = view.u16(at + layout.column_code_page);
    } else {
      column.sort_order = view.u16(at + 11);
    }
  }
  return column;
}

TableDef parse(const std::vector<uint8_t>& bytes, const FormatLayout& layout, uint16_t code_page) {
  const ByteView view(bytes, "table definition");
  TableDef def;
  def.format = layout.format;
  def.row_count = view.u32(layout.tdef_row_count);
  def.next_autonumber = view.u32(layout.tdef_autonumber);
  def.table_type = view.u8(layout.tdef_table_type);
  def.max_columns = view.u16(layout.tdef_max_columns);
  def.variable_column_count = view.u16(layout.tdef_variable_columns);
  const uint16_t column_count = view.u16(layout.tdef_columns);
  const uint32_t logical_count = view.u32(layout.tdef_logical_indexes);
  const uint32_t real_count = view.u32(layout.tdef_real_indexes);
  def.owned_pages = view.u32(layout.tdef_owned_pages);
  def.free_space_pages = view.u32(layout.tdef_free_space_pages);
  if (column_count > kMaxColumns)
    throw CorruptData("implausible column count " + std::to_string(column_count));
  // Each index needs more bytes than the definition could hold otherwise.
  if (real_count > bytes.size() / layout.real_index_size ||
      logical_count > bytes.size() / layout.logical_index_size)
    throw CorruptData("implausible index count " + std::to_string(logical_count) + "/" +
                      std::to_string(real_count));

  size_t pos = layout.tdef_header_end;
  def.real_indexes.resize(real_count);
  for (RealIndex& real : def.real_indexes) {
    real.row_count = view.u32(pos + 4);
    pos += layout.real_index_count_size;
  }

  def.columns.reserve(column_count);
  for (uint16_t i = 0; i < column_count; ++i) {
    def.columns.push_back(read_column(view, pos, layout));
    pos += layout.column_size;
  }
  const NameReader names(view, layout, code_page);
  for (Column& column : def.columns) column.name = names.read(pos);

  std::stable_sort(def.columns.begin(), def.columns.end(),
                   [](const Column& a, const Column& b) { return a.number < b.number; });
  for (size_t i = 0; i < def.columns.size(); ++i) def.columns[i].position = static_cast<uint16_t>(i);
  const auto position_of = [&](uint16_t number) {
    for (const Column& column : def.columns)
      if (column.number == number) return column.position;
    throw CorruptData("an index refers to column number " + std::to_string(number) +
                      ", which the table does not have");
  };

  for (RealIndex& real : def.real_indexes) {
    size_t at = pos + layout.real_index_skip;
    for (size_t slot = 0; slot < kIndexColumnSlots; ++slot, at += 3) {
      const uint16_t number = view.u16(at);
      if (number == kNoColumn) continue;
      real.columns.push_back({position_of(number), view.u8(at + 2) == 0x01});
    }
    real.used_pages = view.u32(at);
    real.root_page = view.u32(at + 4);
    real.flags = view.u8(at + 8 + layout.real_index_flags_skip);
    pos += layout.real_index_size;
  }

  def.indexes.resize(logical_count);
  for (Index& index : def.indexes) {
    const size_t at = pos + layout.logical_index_skip;
    index.index_number = view.u32(at);
    const uint32_t real = view.u32(at + 4);
    if (real >= real_count)
      throw CorruptData("an index uses real index " + std::to_string(real) + " of " +
                        std::to_string(real_count));
    index.real_index = static_cast<int>(real);
    index.related_table_type = view.u8(at + 8);
    index.related_index = view.i32(at + 9);
    index.related_table_page = view.u32(at + 13);
    index.cascade_updates = view.u8(at + 17) != 0;
    index.cascade_deletes = view.u8(at + 18) != 0;
    const uint8_t type = view.u8(at + 19);
    index.primary = type == kIndexTypePrimary;
    index.foreign = type == kIndexTypeForeign;

    const RealIndex& backing = def.real_indexes[real];
    index.columns = backing.columns;
    index.root_page = backing.root_page;
    index.unique = index.primary || (backing.flags & kIndexUnique) != 0;
    index.ignore_nulls = (backing.flags & kIndexIgnoreNulls) != 0;
    index.required = index.primary || (backing.flags & kIndexRequired) != 0;
    pos += layout.logical_index_size;
  }
  for (Index& index : def.indexes) index.name = names.read(pos);
  return def;
}

}  // namespace

bool names_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const Column* TableDef::find_column(std::string_view wanted) const {
  for (const Column& column : columns)
    if (names_equal(column.name, wanted)) return &column;
  return nullptr;
}

TableDef read_table_definition(const PageSource& pages, uint32_t page, const FormatLayout& layout,
                               uint16_t code_page) {
  try {
    TableDef def;
    std::vector<uint32_t> chain;
    const std::vector<uint8_t> bytes = read_definition_bytes(pages, page, chain);
    def = parse(bytes, layout, code_page);
    def.definition_page = page;
    def.definition_pages = std::move(chain);
    return def;
  } catch (const CorruptData& e) {
    throw CorruptData("table definition on page " + std::to_string(page) + ": " + e.what());
  }
}

// The names Access shows for the column types.
const char* type_name(ColumnType type) {
  switch (type) {
    case ColumnType::Boolean: return "Yes/No";
    case ColumnType::Byte: return "Byte";
    case ColumnType::Integer: return "Integer";
    case ColumnType::Long: return "Long Integer";
    case ColumnType::Currency: return "Currency";
    case ColumnType::Single: return "Single";
    case ColumnType::Double: return "Double";
    case ColumnType::DateTime: return "Date/Time";
    case ColumnType::Binary: return "Binary";
    case ColumnType::Text: return "Text";
    case ColumnType::Ole: return "OLE Object";
    case ColumnType::Memo: return "Memo";
    case ColumnType::Guid: return "Replication ID";
    case ColumnType::Numeric: return "Decimal";
  }
  return "unknown";
}

}  // namespace halvaro::jet
