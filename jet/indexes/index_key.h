#pragma once
// Layer jet/indexes: index keys and the "General" sort order of their text, index
// pages as stored, and the index writer that inserts entries and splits pages. It
// may use jet/tables, jet/pages and jet/base.
//
// Index keys as Jet 4 stores them: for each index column a flag byte (0x7F value,
// 0x00 null; 0x80 and 0xFF when descending) and the value in an order-preserving
// form: big-endian numbers with the sign bit turned, floating point turned so that
// bytes compare like numbers, GUIDs in 9-byte segments, and text in Access's
// "General" sort order (letters weighed without case or accents first, then accents,
// case and unprintable characters as tie-breakers). Descending columns invert it all.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/indexes/sort_codes.h"
#include "jet/tables/table_definition.h"

namespace halvaro::jet {

using KeyBytes = std::vector<uint8_t>;

// Appends one column's part of a key. `value` must already be valid for the column.
void append_key_part(KeyBytes& key, ColumnType type, const FieldValue& value, bool ascending);

// Where the encoder finds a code unit's codes; general_sort_codes (the built-in
// table) unless a caller brings its own (the tool that derives that table does).
using SortCodeLookup = std::function<SortCodes(char16_t)>;

// The General sort order's bytes for a text (without the column's flag byte).
// Throws ValueError naming the character (as U+XXXX) when its place in the order is
// not known: a guessed key would put the row in the wrong place of the index.
void append_general_text(KeyBytes& key, std::u16string_view text, bool ascending,
                         const SortCodeLookup& lookup = nullptr);

// Sets `key` to the whole key of `values` (one per table column) for a real index. Throws
// ValueError when a text holds a character of unknown sort position.
void make_key(KeyBytes& key, const TableDef& table, const RealIndex& index, const std::vector<FieldValue>& values);

// The key parts of the texts last keyed, one per table column. Rows appended one after
// another repeat most of their key texts (one claimant's tax periods, one invoice's
// items), and a text keyed by several indexes is keyed once per row: a repeated text
// takes its part from here instead of being weighed character by character again.
class TextKeyParts {
 public:
  // Appends the part of `value`, the value of table column `column`, as append_key_part does.
  void append(KeyBytes& key, ColumnType type, size_t column, const FieldValue& value, bool ascending);

 private:
  struct Part {
    bool known = false;
    bool ascending = true;
    std::string text;
    KeyBytes bytes;
  };
  std::vector<Part> parts_;
};

// make_key, taking the parts of repeated texts from `parts`.
void make_key(KeyBytes& key, const TableDef& table, const RealIndex& index, const std::vector<FieldValue>& values,
              TextKeyParts& parts);

}  // namespace halvaro::jet
