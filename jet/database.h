#pragma once
// Public face of the Access file engine's reading half. Implementation to come:
// the declarations here are the contract the query layer and the access layer build on.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "jet/field_value.h"

namespace halvaro::jet {

// Any problem with a database file; the message names the file and what is wrong.
class JetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Format { Jet3, Jet4 };

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

struct Column {
  std::string name;
  ColumnType type = ColumnType::Text;
  uint16_t number = 0;        // column number as stored (stable across deleted columns)
  uint16_t position = 0;      // index into a row's values
  uint16_t size = 0;          // bytes in the row (Text: twice the characters in Jet 4)
  uint8_t precision = 0;      // Numeric
  uint8_t scale = 0;          // Numeric
  bool fixed = false;         // fixed-length part of the row
  bool autonumber = false;    // COUNTER
  bool required = false;      // from the Required property or a NOT NULL flag
  bool allow_zero_length = true;
  std::optional<std::string> default_value;  // DefaultValue property text, as stored
  // Layout details the row codec needs.
  uint16_t variable_index = 0;
  uint16_t fixed_offset = 0;
  uint16_t code_page = 0;     // Jet 3 text
  bool compressed_unicode = false;
};

struct IndexColumn {
  uint16_t column = 0;  // position in TableDef::columns
  bool ascending = true;
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
};

struct TableDef {
  std::string name;
  uint32_t definition_page = 0;
  uint32_t row_count = 0;
  std::vector<Column> columns;  // in position order
  std::vector<Index> indexes;   // logical indexes
  const Column* find_column(std::string_view name) const;  // case-blind
};

// A read-only, snapshot view of one .mdb file. The file is never written or locked.
class Database {
 public:
  static std::unique_ptr<Database> open(const std::filesystem::path& path);
  virtual ~Database();

  Format format() const;
  const std::filesystem::path& path() const;

  std::vector<std::string> table_names() const;  // user tables, catalog order
  std::vector<std::string> query_names() const;  // saved queries
  const TableDef* find_table(std::string_view name) const;  // case-blind; nullptr if none
  const TableDef& table(std::string_view name) const;      // throws JetError

  // Calls visit once per live row, in storage order; values[i] is columns[i]'s value.
  // visit returns false to stop early.
  void scan(const TableDef& table,
            const std::function<bool(std::span<const FieldValue> values)>& visit) const;

  // The SELECT text of a saved query, rebuilt from the catalog; throws JetError
  // when there is no such query.
  std::string query_sql(std::string_view name) const;
};

}  // namespace halvaro::jet
