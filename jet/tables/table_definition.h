#pragma once
// Layer jet/tables: a table's definition, its rows as bytes and back (row decoder
// and encoder), long values (Memo/OLE) and scanning a table's data pages. It may use
// jet/pages and jet/base.
//
// Table definitions (TDEF pages): columns, real and logical indexes, and where
// the table keeps its pages. One definition may continue over several pages.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/errors.h"
#include "jet/base/format.h"
#include "jet/pages/page_source.h"

namespace halvaro::jet {

// Column type codes as stored in table definitions.
enum class ColumnType : uint8_t {
  Boolean = 0x01,
  Byte = 0x02,
  Integer = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Single = 0x06,
  Double = 0x07,
  DateTime = 0x08,
  Binary = 0x09,
  Text = 0x0A,
  Ole = 0x0B,
  Memo = 0x0C,
  Guid = 0x0F,
  Numeric = 0x10,
};

// Column flag bits as stored.
inline constexpr uint8_t kColumnFixed = 0x01;
inline constexpr uint8_t kColumnUpdatable = 0x02;
inline constexpr uint8_t kColumnAutoLong = 0x04;
inline constexpr uint8_t kColumnAutoGuid = 0x40;
inline constexpr uint8_t kColumnHyperlink = 0x80;
inline constexpr uint8_t kColumnExtCompressedUnicode = 0x01;  // Jet 4 extra flags

// Real index flag bits.
inline constexpr uint8_t kIndexUnique = 0x01;
inline constexpr uint8_t kIndexIgnoreNulls = 0x02;
inline constexpr uint8_t kIndexRequired = 0x08;

// Logical index types.
inline constexpr uint8_t kIndexTypePrimary = 0x01;
inline constexpr uint8_t kIndexTypeForeign = 0x02;

struct Column {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;        // column number as stored (stable across deleted columns)
  uint16_t position = 0;      // index into a row's values
  uint16_t size = 0;          // bytes in the row (Text: twice the characters in Jet 4)
  uint8_t precision = 0;      // Numeric
  uint8_t scale = 0;          // Numeric
  bool fixed = false;         // fixed-length part of the row
  bool autonumber = false;    // COUNTER (or a GUID filled in by the engine)
  bool required = false;      // from the Required property
  bool allow_zero_length = true;
  std::optional<std::string> default_value;  // DefaultValue property text, as stored
  // Layout details the row codec needs.
  uint16_t variable_index = 0;
  uint16_t fixed_offset = 0;
  uint16_t code_page = 0;     // Jet 3 text; 0 = the database's
  bool compressed_unicode = false;
  uint16_t sort_order = 0;    // text collation (0x409 = General)
  uint8_t flags = 0;          // kColumn* bits as stored
  uint8_t ext_flags = 0;      // Jet 4 only

  bool is_long_value() const { return type == ColumnType::Memo || type == ColumnType::Ole; }
};

struct IndexColumn {
  uint16_t column = 0;  // position in TableDef::columns
  bool ascending = true;
};

// A physical index: the B-tree that one or more logical indexes use.
struct RealIndex {
  std::vector<IndexColumn> columns;
  uint32_t used_pages = 0;     // packed row location of its usage map
  uint32_t root_page = 0;
  uint8_t flags = 0;           // kIndex* bits
  uint32_t row_count = 0;      // as recorded in the definition's header
};

struct Index {
  std::string name;
  std::vector<IndexColumn> columns;
  bool primary = false;
  bool unique = false;
  bool foreign = false;       // a foreign-key (relationship) index
  bool ignore_nulls = false;
  bool required = false;
  uint32_t root_page = 0;     // of the real index it uses
  int real_index = 0;         // logical indexes share real indexes
  uint32_t index_number = 0;
  // Foreign keys only.
  uint8_t related_table_type = 0;
  int32_t related_index = -1;
  uint32_t related_table_page = 0;
  bool cascade_updates = false;
  bool cascade_deletes = false;
};

struct TableDef {
  std::string name;
  Format format = Format::Jet4;
  uint32_t definition_page = 0;
  std::vector<uint32_t> definition_pages;  // the whole chain, first page first
  uint32_t row_count = 0;
  uint32_t next_autonumber = 0;
  uint8_t table_type = 0;               // 0x4E user, 0x53 system
  uint16_t max_columns = 0;             // counts deleted columns too
  uint16_t variable_column_count = 0;
  uint32_t owned_pages = 0;             // packed row location of the owned-pages usage map
  uint32_t free_space_pages = 0;        // packed row location of the free-space usage map
  std::vector<Column> columns;          // in position order
  std::vector<RealIndex> real_indexes;
  std::vector<Index> indexes;           // logical indexes
  const Column* find_column(std::string_view name) const;  // case-blind
};

// Case-blind comparison of names (ASCII letters fold; others compare exactly).
bool names_equal(std::string_view a, std::string_view b);

// The name Access shows for a column type ("Long Integer", "Date/Time", ...).
const char* type_name(ColumnType type);

// Reads the definition starting at `page`. code_page decodes Jet 3 names.
// Throws CorruptData naming the page when the definition is damaged.
TableDef read_table_definition(const PageSource& pages, uint32_t page, const FormatLayout& layout,
                               uint16_t code_page);

}  // namespace halvaro::jet
