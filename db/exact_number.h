#pragma once
// Exact decimal arithmetic for the totals of a run: money is summed to the last digit,
// never through binary floating point.

#include <optional>
#include <string>

#include "jet/base/field_value.h"

namespace halvaro::db {

// unscaled / 10^scale.
struct ExactNumber {
  Int128 unscaled = 0;
  int scale = 0;
};

// The number a value holds: whole numbers, currency and decimals exactly; a Double or
// Single as the 15 significant digits it shows; text that is wholly a number. nullopt
// for null, booleans, dates and other text.
std::optional<ExactNumber> exact_number(const FieldValue& value);

ExactNumber operator+(ExactNumber a, ExactNumber b);
ExactNumber operator-(ExactNumber a, ExactNumber b);
bool operator==(ExactNumber a, ExactNumber b);
inline bool is_zero(const ExactNumber& n) { return n.unscaled == 0; }

// Plain decimal text without trailing zeros: "-12.5", "0", "1250".
std::string to_string(const ExactNumber& n);

}  // namespace halvaro::db
