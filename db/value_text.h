#pragma once
// Value <-> text for the access layer, under the query layer's regional settings, so a
// value placed in a built query reads exactly as the query's cstr of the same value.

#include <string>
#include <string_view>

#include "sql/regional.h"

namespace halvaro::db {

using sql::parse_date;
using sql::text_form;

// The text with each apostrophe doubled, for use inside a quoted Access literal.
std::string quote_inner(std::string_view text);

}  // namespace halvaro::db
