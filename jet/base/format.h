#pragma once
// Where things sit in the pages of each file format. Jet 3 (Access 97) and Jet 4
// (Access 2000-2003) share their structures but differ in page size, in the width
// of counts and name lengths, and in the offsets of most header fields.

#include <cstdint>

namespace halvaro::jet {

enum class Format { Jet3, Jet4 };

// Page type codes: the first byte of every page.
enum class PageType : uint8_t {
  Header = 0x00,
  Data = 0x01,
  TableDefinition = 0x02,
  IndexNode = 0x03,
  IndexLeaf = 0x04,
  UsageMap = 0x05,
};

struct FormatLayout {
  Format format;
  uint32_t page_size;
  bool unicode_text;  // UCS-2 (Jet 4) rather than the file's code page (Jet 3)

  // Header page.
  uint32_t masked_header_size;  // bytes of page 0 from 0x18 that are RC4-masked
  uint32_t password_size;

  // Data pages: row count and the table of row offsets that follows it.
  uint32_t data_row_count;
  uint32_t data_row_table;

  // Table definition pages.
  uint32_t tdef_row_count;
  uint32_t tdef_autonumber;
  uint32_t tdef_table_type;
  uint32_t tdef_max_columns;
  uint32_t tdef_variable_columns;
  uint32_t tdef_columns;
  uint32_t tdef_logical_indexes;
  uint32_t tdef_real_indexes;
  uint32_t tdef_owned_pages;
  uint32_t tdef_free_space_pages;
  uint32_t tdef_header_end;  // where the per-real-index row counts begin
  uint32_t real_index_count_size;

  // One column descriptor.
  uint32_t column_size;
  uint32_t column_number;
  uint32_t column_variable_index;
  uint32_t column_precision;
  uint32_t column_scale;
  uint32_t column_code_page;  // 0 when the format keeps none per column
  uint32_t column_flags;
  uint32_t column_ext_flags;  // 0 when the format has none
  uint32_t column_fixed_offset;
  uint32_t column_length;

  // Real (physical) and logical index descriptors.
  uint32_t real_index_size;
  uint32_t real_index_skip;  // unknown bytes before the column list
  uint32_t real_index_flags_skip;  // unknown bytes between the root page and the flags
  uint32_t logical_index_size;
  uint32_t logical_index_skip;

  uint32_t name_length_size;  // column and index names: 1-byte or 2-byte length

  // Rows.
  uint32_t row_count_size;      // the column count that starts each row
  uint32_t row_offset_size;     // variable-column offsets (Jet 3 adds a jump table)
};

inline constexpr FormatLayout kJet3Layout{
    .format = Format::Jet3,
    .page_size = 2048,
    .unicode_text = false,
    .masked_header_size = 126,
    .password_size = 20,
    .data_row_count = 8,
    .data_row_table = 10,
    .tdef_row_count = 12,
    .tdef_autonumber = 16,
    .tdef_table_type = 20,
    .tdef_max_columns = 21,
    .tdef_variable_columns = 23,
    .tdef_columns = 25,
    .tdef_logical_indexes = 27,
    .tdef_real_indexes = 31,
    .tdef_owned_pages = 35,
    .tdef_free_space_pages = 39,
    .tdef_header_end = 43,
    .real_index_count_size = 8,
    .column_size = 18,
    .column_number = 1,
    .column_variable_index = 3,
    .column_precision = 11,
    .column_scale = 12,
    .column_code_page = 11,
    .column_flags = 13,
    .column_ext_flags = 0,
    .column_fixed_offset = 14,
    .column_length = 16,
    .real_index_size = 39,
    .real_index_skip = 0,
    .real_index_flags_skip = 0,
    .logical_index_size = 20,
    .logical_index_skip = 0,
    .name_length_size = 1,
    .row_count_size = 1,
    .row_offset_size = 1,
};

inline constexpr FormatLayout kJet4Layout{
    .format = Format::Jet4,
    .page_size = 4096,
    .unicode_text = true,
    .masked_header_size = 128,
    .password_size = 40,
    .data_row_count = 12,
    .data_row_table = 14,
    .tdef_row_count = 16,
    .tdef_autonumber = 20,
    .tdef_table_type = 40,
    .tdef_max_columns = 41,
    .tdef_variable_columns = 43,
    .tdef_columns = 45,
    .tdef_logical_indexes = 47,
    .tdef_real_indexes = 51,
    .tdef_owned_pages = 55,
    .tdef_free_space_pages = 59,
    .tdef_header_end = 63,
    .real_index_count_size = 12,
    .column_size = 25,
    .column_number = 5,
    .column_variable_index = 7,
    .column_precision = 11,
    .column_scale = 12,
    .column_code_page = 0,
    .column_flags = 15,
    .column_ext_flags = 16,
    .column_fixed_offset = 21,
    .column_length = 23,
    .real_index_size = 52,
    .real_index_skip = 4,
    .real_index_flags_skip = 4,
    .logical_index_size = 28,
    .logical_index_skip = 4,
    .name_length_size = 2,
    .row_count_size = 2,
    .row_offset_size = 2,
};

inline const FormatLayout& layout_of(Format format) {
  return format == Format::Jet3 ? kJet3Layout : kJet4Layout;
}

// A row's address: page number and slot on that page, packed in files as one
// 32-bit value (slot in the low byte).
struct RowLocation {
  uint32_t page = 0;
  uint16_t row = 0;
  static RowLocation unpack(uint32_t packed) { return {packed >> 8, uint16_t(packed & 0xFF)}; }
  bool operator==(const RowLocation&) const = default;
};

}  // namespace halvaro::jet
