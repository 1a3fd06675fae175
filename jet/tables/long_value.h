#pragma once
// Long values (Memo and OLE): a 12-byte reference in the row that either holds
// the data inline, points at one row on a long-value page, or points at the
// first of a chain of such rows, each starting with the pointer to the next.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/base/format.h"
#include "jet/pages/page_source.h"

namespace halvaro::jet {

inline constexpr size_t kLongValueReferenceSize = 12;
inline constexpr uint32_t kLongValueInline = 0x80000000;
inline constexpr uint32_t kLongValueSinglePage = 0x40000000;
inline constexpr uint32_t kLongValueLengthMask = 0x3FFFFFFF;

// Appends the bytes of the long value whose reference is `reference` to `out`.
// Throws CorruptData for bad pointers, a chain that loops or a length that
// disagrees with the data found.
void read_long_value(std::span<const uint8_t> reference, const PageSource& pages,
                     const FormatLayout& layout, std::vector<uint8_t>& out);

}  // namespace halvaro::jet
