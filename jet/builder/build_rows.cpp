#include "jet/builder/build_rows.h"

#include <cstring>

#include "jet/indexes/index_key.h"

namespace halvaro::jet::build {

namespace {

constexpr uint32_t kInlineLongValue = 0x80000000;

int64_t whole_of(const FieldValue& v) {
  if (v.is<int64_t>()) return v.as<int64_t>();
  if (v.is<bool>()) return v.as<bool>() ? -1 : 0;
  throw JetError("a whole number was expected");
}

void put_fixed(Bytes& row, size_t at, const ColumnSpec& c, const FieldValue& v) {
  switch (c.type) {
    case ColumnType::Byte: put8(row, at, static_cast<uint32_t>(whole_of(v))); break;
    case ColumnType::Integer: put16(row, at, static_cast<uint32_t>(whole_of(v))); break;
    case ColumnType::Long: put32(row, at, static_cast<uint32_t>(whole_of(v))); break;
    case ColumnType::DateTime: {
      Bytes d;
      add_double(d, v.as<DateTime>().days);
      std::memcpy(row.data() + at, d.data(), d.size());
      break;
    }
    default: throw JetError("column " + c.name + ": type not supported in a catalog row");
  }
}

Bytes variable_bytes(const ColumnSpec& c, const FieldValue& v) {
  switch (c.type) {
    case ColumnType::Text: return ucs2_of(v.as<std::string>());
    case ColumnType::Binary: return v.as<Binary>();
    case ColumnType::Memo:
    case ColumnType::Ole: {
      Bytes data = c.type == ColumnType::Memo ? ucs2_of(v.as<std::string>()) : v.as<Binary>();
      Bytes out;
      add32(out, static_cast<uint32_t>(data.size()) | kInlineLongValue);
      add32(out, 0);
      add32(out, 0);
      out.insert(out.end(), data.begin(), data.end());
      return out;
    }
    default: throw JetError("column " + c.name + ": type not supported in a catalog row");
  }
}

}  // namespace

Bytes encode_row(const TableSpec& table, const RowLayout& layout, std::span<const FieldValue> values) {
  const size_t n = table.columns.size();
  if (values.size() != n) throw JetError("table " + table.name + ": wrong number of values");
  // Sized in one step: GCC 12 at -O3 misreads a resize after a push as an overread.
  Bytes row(2 + layout.fixed_size, 0);
  put16(row, 0, static_cast<uint32_t>(n));
  Bytes mask((n + 7) / 8, 0);
  std::vector<uint16_t> var_offsets(layout.var_count, 0);

  for (size_t i = 0; i < n; ++i) {
    const ColumnSpec& c = table.columns[i];
    const ColumnPlacement& p = layout.columns[i];
    const FieldValue& v = values[i];
    bool present = !v.is_null();
    if (c.type == ColumnType::Boolean) present = present && v.as<bool>();  // the bit is the value
    if (present) mask[i / 8] = static_cast<uint8_t>(mask[i / 8] | (1u << (i % 8)));
    if (p.fixed && c.type != ColumnType::Boolean && !v.is_null()) put_fixed(row, 2 + p.fixed_offset, c, v);
  }
  // Variable columns in their offset-table order; a null one takes no bytes.
  for (uint16_t slot = 0; slot < layout.var_count; ++slot) {
    var_offsets[slot] = static_cast<uint16_t>(row.size());
    for (size_t i = 0; i < n; ++i) {
      if (layout.columns[i].fixed || layout.columns[i].var_index != slot || values[i].is_null()) continue;
      Bytes data = variable_bytes(table.columns[i], values[i]);
      row.insert(row.end(), data.begin(), data.end());
    }
  }
  if (layout.var_count > 0) {
    add16(row, static_cast<uint32_t>(row.size()));  // end of the variable data
    for (size_t k = layout.var_count; k-- > 0;) add16(row, var_offsets[k]);
    add16(row, layout.var_count);
  }
  row.insert(row.end(), mask.begin(), mask.end());
  return row;
}

Bytes encode_index_key(const TableSpec& table, const IndexSpec& index,
                       std::span<const FieldValue> values) {
  Bytes key;
  for (const IndexColumnSpec& ic : index.columns) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (!same_name(table.columns[i].name, ic.column)) continue;
      append_key_part(key, table.columns[i].type, values[i], ic.ascending);
    }
  }
  return key;
}

}  // namespace halvaro::jet::build
