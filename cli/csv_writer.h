#pragma once
// Writes rows of FieldValue as CSV, for `halvaro dump` and `halvaro query`.
//
// Field forms:
//   null          empty field
//   text          as is; quoted ("" doubling quotes) when it holds a comma, quote, CR or
//                 LF, and when it is empty, so that "" (empty text) differs from null
//   whole number  decimal
//   Single/Double shortest text that reads back as the same double
//   Currency      exactly four decimals: -12.5000
//   Date/Time     YYYY-MM-DD HH:MM:SS, then .mmm when there is a fraction of a second
//   Boolean       1 or 0
//   Decimal       its digits with its scale: 12.340
//   GUID          {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
//   binary        lowercase hex digits, two per byte, no prefix; zero bytes as "",
//                 so that it differs from null as empty text does
// Lines end in LF.

#include <ostream>
#include <span>
#include <string>

#include "jet/base/field_value.h"

namespace halvaro::cli {

// Appends the CSV form of one value (quoted where needed) to `out`.
void append_csv_field(std::string& out, const FieldValue& value);

class CsvWriter {
 public:
  explicit CsvWriter(std::ostream& out) : out_(out) {}
  void write_header(std::span<const std::string> names);
  void write_row(std::span<const FieldValue> values);

 private:
  void finish_line();
  std::ostream& out_;
  std::string line_;  // reused, so a row costs no allocation once warmed up
};

}  // namespace halvaro::cli
