#pragma once
// Turns the bytes of one row into values, given the table's definition. Works on
// a row buffer alone; long values are fetched from the page source.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/base/format.h"
#include "jet/pages/page_source.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

// Where each column's bytes sit in one row; empty spans for nulls.
struct RowParts {
  uint16_t column_count = 0;        // columns the row was written with
  std::span<const uint8_t> null_mask;
  std::vector<uint16_t> var_offsets;  // variable-column starts plus the end of the data
  bool present(uint16_t number) const {
    return number < column_count && (null_mask[number / 8] & (1u << (number % 8))) != 0;
  }
};

class RowDecoder {
 public:
  // code_page: the database's, for Jet 3 text columns that name none.
  RowDecoder(const TableDef& table, const PageSource& pages, uint16_t code_page);

  // values[i] becomes columns[i]'s value; existing elements are reused.
  // Throws CorruptData when the row does not fit its definition.
  void decode(std::span<const uint8_t> row, std::vector<FieldValue>& values);
  // Throws CorruptData wherever decode would, without building the values (texts are
  // not converted, which is most of decoding a row).
  void check(std::span<const uint8_t> row);
  // decode for the columns whose position `wanted` marks, check for the others (their
  // values are left as they were): throws wherever decode would.
  void decode_some(std::span<const uint8_t> row, std::vector<FieldValue>& values, const std::vector<bool>& wanted);

  // Splits a row into its parts (exposed for tests and for the row writer).
  static void split(std::span<const uint8_t> row, const TableDef& table, const FormatLayout& layout,
                    RowParts& out);

  // The raw bytes of one column in a split row; nullopt for null (and Boolean,
  // whose value is its null-mask bit).
  static std::optional<std::span<const uint8_t>> column_bytes(std::span<const uint8_t> row, const Column& column,
                                               const RowParts& parts, const FormatLayout& layout);

 private:
  // values null: check only; wanted null: every column wanted.
  void decode_row(std::span<const uint8_t> row, std::vector<FieldValue>* values,
                  const std::vector<bool>* wanted = nullptr);
  void check_value(const Column& column, std::span<const uint8_t> bytes);
  FieldValue decode_value(const Column& column, std::span<const uint8_t> bytes);
  std::string decode_text(const Column& column, std::span<const uint8_t> bytes) const;

  const TableDef& table_;
  const PageSource& pages_;
  const FormatLayout& layout_;
  uint16_t code_page_;
  RowParts parts_;
  std::vector<uint8_t> long_value_;
};

// The value of a fixed-size type (Byte to Double, Date/Time, GUID, Numeric) from
// its stored bytes; nullopt for the other types.
std::optional<FieldValue> decode_number(ColumnType type, std::span<const uint8_t> bytes,
                                        uint8_t scale);

// Decimal value of a Numeric column's 17 stored bytes (sign byte, then four
// little-endian 32-bit words, most significant first).
Decimal decode_numeric(std::span<const uint8_t> bytes, uint8_t scale);

}  // namespace halvaro::jet
