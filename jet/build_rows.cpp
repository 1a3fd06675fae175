#include "jet/build_rows.h"

#include <array>
#include <cstring>

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
  Bytes row;
  add16(row, static_cast<uint32_t>(n));
  row.resize(2 + layout.fixed_size, 0);
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

namespace {

// Sort codes of the General sort order (Access 2000-2007, "General legacy" since).
// Upper and lower case letters sort alike.
Bytes general_text_code(char16_t ch) {
  if (ch == u' ') return {0x07};
  if (ch == u'_') return {0x2B, 0x03};
  if (ch >= u'0' && ch <= u'9') return {static_cast<uint8_t>(0x36 + 2 * (ch - u'0'))};
  char16_t upper = (ch >= u'a' && ch <= u'z') ? static_cast<char16_t>(ch - 32) : ch;
  if (upper >= u'A' && upper <= u'Z') {
    static constexpr std::array<uint8_t, 26> kLetters = {
        0x4A, 0x4C, 0x4D, 0x4F, 0x51, 0x53, 0x55, 0x57, 0x59, 0x5B, 0x5C, 0x5E, 0x60,
        0x62, 0x64, 0x66, 0x68, 0x69, 0x6B, 0x6D, 0x6F, 0x71, 0x73, 0x75, 0x76, 0x78};
    return {kLetters[static_cast<size_t>(upper - u'A')]};
  }
  throw JetError("names in the catalog may only hold letters, digits, blanks and '_'");
}

void add_key_part(Bytes& key, const ColumnSpec& c, const FieldValue& v, bool ascending) {
  if (v.is_null()) {
    add8(key, ascending ? 0x00 : 0xFF);
    return;
  }
  Bytes part;
  switch (c.type) {
    case ColumnType::Byte: add8(part, static_cast<uint32_t>(whole_of(v))); break;
    case ColumnType::Integer: {
      auto x = static_cast<uint32_t>(whole_of(v)) ^ 0x8000u;
      add8(part, (x >> 8) & 0xFF);
      add8(part, x & 0xFF);
      break;
    }
    case ColumnType::Long: {
      auto x = static_cast<uint32_t>(whole_of(v)) ^ 0x80000000u;
      for (int shift = 24; shift >= 0; shift -= 8) add8(part, (x >> shift) & 0xFF);
      break;
    }
    case ColumnType::Text: {
      for (char16_t ch : utf16_of(v.as<std::string>())) {
        Bytes code = general_text_code(ch);
        part.insert(part.end(), code.begin(), code.end());
      }
      add8(part, 0x01);  // end of the text codes
      if (!ascending) add8(part, 0x00);
      break;
    }
    default: throw JetError("column " + c.name + ": type not supported in a catalog index");
  }
  if (!ascending)
    for (auto& byte : part) byte = static_cast<uint8_t>(~byte);
  add8(key, ascending ? 0x7F : 0x80);
  key.insert(key.end(), part.begin(), part.end());
  if (c.type == ColumnType::Text) add8(key, 0x00);  // end of the (absent) extra codes
}

}  // namespace

Bytes encode_index_key(const TableSpec& table, const IndexSpec& index,
                       std::span<const FieldValue> values) {
  Bytes key;
  for (const IndexColumnSpec& ic : index.columns) {
    for (size_t i = 0; i < table.columns.size(); ++i) {
      if (!same_name(table.columns[i].name, ic.column)) continue;
      add_key_part(key, table.columns[i], values[i], ic.ascending);
    }
  }
  return key;
}

}  // namespace halvaro::jet::build
