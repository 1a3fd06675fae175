#pragma once
// The one set of regional settings used for every conversion between values and
// text: the text form of a value placed in a built query, the query language's
// CStr and Format, and reading dates back from text. Both sides of a comparison
// such as `cstr(InvoiceDate) = '17/08/2023 14:35:20'` go through these functions,
// so a value always finds itself.

#include <optional>
#include <string>
#include <string_view>

#include "jet/base/field_value.h"
#include "sql/kind.h"

namespace halvaro::sql {

struct RegionalSettings {
  std::string short_date = "dd/MM/yyyy";
  char date_separator = '/';
  std::string time = "HH:mm:ss";
  char decimal_separator = '.';
};

// The settings every conversion uses.
const RegionalSettings& regional_settings();

// The plain text form of a value (CStr): null as empty text, text unchanged, a number
// in its ordinary decimal form (Double with up to 15 significant digits, Single with
// 7), Currency and Decimal without trailing zeros, a boolean as True/False, a date as
// the short date followed by a blank and the time when the time of day is not
// midnight ("17/08/2023 14:35:20", "17/08/2023").
std::string text_form(const FieldValue& value);
// The same, for a value whose column kind is known (tells a Single from a Double).
std::string text_form(const FieldValue& value, Kind kind);

// Reads a date in the short date form, optionally followed by a time ("17/08/2023",
// "17/08/2023 14:35:20", "1/2/2023 9:05"), an ISO date ("2023-08-17 14:35:20"), or a
// time alone (day zero). Two-digit years fall in 1930-2029. nullopt if it is none of
// these or names no real date.
std::optional<DateTime> parse_date(std::string_view text);

// Reads a number written with the regional decimal separator, blanks around it
// allowed ("  -12.5 ", "1E+20"). nullopt if the text is not wholly a number.
std::optional<double> parse_number(std::string_view text);

// Format(value, pattern): the named forms (General Date, Long Date, Medium Date,
// Short Date, Long Time, Medium Time, Short Time, General Number, Fixed, Standard,
// Percent, Scientific, Yes/No, True/False, On/Off) and patterns built from the date
// and time tokens (d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss AM/PM am/pm
// / :) or the number tokens (0 # . , %), with "quoted" and \escaped literals.
// An empty pattern gives text_form. Throws std::invalid_argument for a pattern it
// does not know.
std::string format(const FieldValue& value, std::string_view pattern);

}  // namespace halvaro::sql
