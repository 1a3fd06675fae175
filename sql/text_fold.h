#pragma once
// Case folding for Jet's text comparisons, which ignore letter case in every
// alphabet the files use (Latin, Greek, Cyrillic), not only in ASCII.

#include <string>
#include <string_view>

namespace halvaro::sql {

std::string fold_case(std::string_view utf8);   // lower case
std::string upper_case(std::string_view utf8);
// <0, 0, >0 like strcmp, letter case ignored.
int compare_folded(std::string_view a, std::string_view b);
// <0, 0, >0 as Jet compares texts: compare_folded of the texts without their trailing
// blanks (or NULs).
int compare_jet(std::string_view a, std::string_view b);
// The text as Jet compares it: trailing blanks (or NULs) do not count.
std::string_view without_trailing_blanks(std::string_view text);
// Number of characters (code points) in UTF-8 text.
size_t utf8_length(std::string_view utf8);
// Byte offset of the character at `index` (clamped to the end).
size_t utf8_offset(std::string_view utf8, size_t index);

}  // namespace halvaro::sql
