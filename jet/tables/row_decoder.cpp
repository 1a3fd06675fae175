#include "jet/tables/row_decoder.h"

#include <cstdio>
#include <string>

#include "jet/base/bytes.h"
#include "jet/tables/long_value.h"
#include "jet/base/text_codec.h"

namespace halvaro::jet {
namespace {

// Jet 3 keeps one-byte offsets; the jump table says at which variable column
// each further 256 bytes begin.
void read_jet3_offsets(const ByteView& row, size_t mask_size, std::vector<uint16_t>& out) {
  const size_t row_length = row.size();
  const size_t last = row_length - 1;
  const size_t var_count = row.u8(last - mask_size);
  size_t jumps = (row_length - 1) / 256;
  const size_t table_end = last - mask_size - jumps - 1;  // the first offset entry
  if (table_end < var_count + 1) throw CorruptData("variable column table does not fit its row");
  // The jump table may end with a dummy entry when the offsets stop short of it.
  if ((table_end - var_count) / 256 < jumps) --jumps;
  out.resize(var_count + 1);
  size_t jumps_used = 0;
  for (size_t i = 0; i <= var_count; ++i) {
    while (jumps_used < jumps && i == row.u8(last - mask_size - jumps_used - 1)) ++jumps_used;
    out[i] = static_cast<uint16_t>(row.u8(table_end - i) + jumps_used * 256);
  }
}

void read_jet4_offsets(const ByteView& row, size_t mask_size, std::vector<uint16_t>& out) {
  const size_t count_at = row.size() - mask_size - 2;
  const size_t var_count = row.u16(count_at);
  if ((var_count + 1) * 2 > count_at) throw CorruptData("variable column table does not fit its row");
  out.resize(var_count + 1);
  for (size_t i = 0; i <= var_count; ++i) out[i] = row.u16(count_at - 2 * (i + 1));
}

bool has_variable_columns(const TableDef& table) {
  for (const Column& column : table.columns)
    if (!column.fixed) return true;
  return false;
}

}  // namespace

RowDecoder::RowDecoder(const TableDef& table, const PageSource& pages, uint16_t code_page)
    : table_(table), pages_(pages), layout_(layout_of(table.format)), code_page_(code_page) {}

void RowDecoder::split(std::span<const uint8_t> bytes, const TableDef& table,
                       const FormatLayout& layout, RowParts& out) {
  const ByteView row(bytes, "row");
  out.column_count = layout.row_count_size == 1 ? row.u8(0) : row.u16(0);
  const size_t mask_size = (out.column_count + 7u) / 8u;
  if (row.size() < layout.row_count_size + mask_size)
    throw CorruptData("row of " + std::to_string(row.size()) + " bytes cannot hold " +
                      std::to_string(out.column_count) + " columns");
  out.null_mask = row.bytes(row.size() - mask_size, mask_size);
  out.var_offsets.clear();
  if (!has_variable_columns(table)) return;
  if (row.size() < layout.row_count_size + mask_size + layout.row_offset_size)
    throw CorruptData("row too short for its variable column table");
  if (layout.row_offset_size == 1)
    read_jet3_offsets(row, mask_size, out.var_offsets);
  else
    read_jet4_offsets(row, mask_size, out.var_offsets);
}

std::optional<std::span<const uint8_t>> RowDecoder::column_bytes(std::span<const uint8_t> bytes,
                                                                 const Column& column,
                                                                 const RowParts& parts,
                                                                 const FormatLayout& layout) {
  if (column.type == ColumnType::Boolean || !parts.present(column.number)) return std::nullopt;
  const ByteView row(bytes, "row");
  if (column.fixed) {
    return row.bytes(layout.row_count_size + size_t{column.fixed_offset}, column.size);
  }
  // Columns added after the row was written have no entry.
  if (column.variable_index + 1u >= parts.var_offsets.size()) return std::nullopt;
  const uint16_t start = parts.var_offsets[column.variable_index];
  const uint16_t end = parts.var_offsets[column.variable_index + 1u];
  if (start > end) throw CorruptData("column " + column.name + " has negative length");
  return row.bytes(start, end - start);
}

void RowDecoder::decode(std::span<const uint8_t> row, std::vector<FieldValue>& values) { decode_row(row, &values); }

void RowDecoder::check(std::span<const uint8_t> row) { decode_row(row, nullptr); }

void RowDecoder::decode_some(std::span<const uint8_t> row, std::vector<FieldValue>& values,
                             const std::vector<bool>& wanted) {
  decode_row(row, &values, &wanted);
}

void RowDecoder::check_value(const Column& column, std::span<const uint8_t> bytes) {
  // Converting a text never fails: its bytes being where the row says is the check.
  if (column.type == ColumnType::Text) return;
  if (column.type == ColumnType::Memo || column.type == ColumnType::Ole) {
    long_value_.clear();
    read_long_value(bytes, pages_, layout_, long_value_);
    return;
  }
  decode_value(column, bytes);
}

void RowDecoder::decode_row(std::span<const uint8_t> row, std::vector<FieldValue>* values,
                            const std::vector<bool>* wanted) {
  split(row, table_, layout_, parts_);
  if (values) values->resize(table_.columns.size());
  for (const Column& column : table_.columns) {
    const bool decoded = values && (!wanted || (*wanted)[column.position]);
    if (column.type == ColumnType::Boolean) {
      if (decoded) (*values)[column.position] = FieldValue(parts_.present(column.number));
      continue;
    }
    try {
      const auto found = column_bytes(row, column, parts_, layout_);
      if (!decoded) {
        if (found) check_value(column, *found);
        continue;
      }
      FieldValue& value = (*values)[column.position];
      if (!found) {
        value = FieldValue();
        continue;
      }
      const std::span<const uint8_t> bytes = *found;
      if (column.type == ColumnType::Text && layout_.unicode_text) {
        // The common case: decode into the string the previous row left, keeping its buffer.
        auto* text = std::get_if<std::string>(&value.value);
        if (text == nullptr) text = &value.value.emplace<std::string>();
        decode_jet4_text(bytes, *text);
      } else {
        value = decode_value(column, bytes);
      }
    } catch (const CorruptData& e) {
      throw CorruptData("column " + column.name + ": " + e.what());
    }
  }
}

std::string RowDecoder::decode_text(const Column& column, std::span<const uint8_t> bytes) const {
  if (layout_.unicode_text) return decode_jet4_text(bytes);
  return decode_code_page(bytes, column.code_page != 0 ? column.code_page : code_page_);
}

Decimal decode_numeric(std::span<const uint8_t> bytes, uint8_t scale) {
  const ByteView view(bytes, "numeric value");
  UInt128 magnitude = 0;
  for (size_t word = 0; word < 4; ++word) magnitude = magnitude << 32 | view.u32(1 + 4 * word);
  // Twenty-eight digits fit in 96 bits; anything above is damage, kept in range.
  magnitude &= (UInt128{1} << 127) - 1;
  const auto signed_value = static_cast<Int128>(magnitude);
  return Decimal{view.u8(0) != 0 ? -signed_value : signed_value, scale};
}

// The dates Access can hold: 100-01-01 to 9999-12-31 23:59:59, in days from 1899-12-30.
bool in_date_range(double days) { return days > -657435.0 && days < 2958466.0; }

std::string days_text(double days) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", days);
  return text;
}

std::optional<FieldValue> decode_number(ColumnType type, std::span<const uint8_t> bytes,
                                        uint8_t scale) {
  const ByteView view(bytes, "value");
  switch (type) {
    case ColumnType::Byte: return FieldValue(int64_t{view.u8(0)});
    case ColumnType::Integer: return FieldValue(int64_t{view.i16(0)});
    case ColumnType::Long: return FieldValue(int64_t{view.i32(0)});
    case ColumnType::Currency: return FieldValue(Currency{view.i64(0)});
    case ColumnType::Single: return FieldValue(static_cast<double>(view.f32(0)));
    case ColumnType::Double: return FieldValue(view.f64(0));
    case ColumnType::DateTime: {
      // Access never stores a date outside its range: such bytes are damage.
      const DateTime date{view.f64(0)};
      if (!in_date_range(date.days))
        throw CorruptData("a date/time value (" + days_text(date.days) +
                          " days) lies outside the range Access can hold");
      return FieldValue(date);
    }
    case ColumnType::Guid: {
      Guid guid;
      const auto raw = view.bytes(0, guid.bytes.size());
      std::copy(raw.begin(), raw.end(), guid.bytes.begin());
      return FieldValue(guid);
    }
    case ColumnType::Numeric: return FieldValue(decode_numeric(view.bytes(0, 17), scale));
    default: return std::nullopt;
  }
}

FieldValue RowDecoder::decode_value(const Column& column, std::span<const uint8_t> bytes) {
  if (auto number = decode_number(column.type, bytes, column.scale)) return std::move(*number);
  switch (column.type) {
    case ColumnType::Boolean: return FieldValue(true);
    case ColumnType::Text: return FieldValue(decode_text(column, bytes));
    case ColumnType::Binary: return FieldValue(Binary(bytes.begin(), bytes.end()));
    case ColumnType::Memo:
    case ColumnType::Ole: {
      long_value_.clear();
      read_long_value(bytes, pages_, layout_, long_value_);
      if (column.type == ColumnType::Memo) return FieldValue(decode_text(column, long_value_));
      return FieldValue(Binary(long_value_.begin(), long_value_.end()));
    }
    default: break;
  }
  // Types this engine does not know (complex columns of later versions) come out raw.
  return FieldValue(Binary(bytes.begin(), bytes.end()));
}

}  // namespace halvaro::jet
