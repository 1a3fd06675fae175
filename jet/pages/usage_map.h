#pragma once
// Usage maps: bitmaps of page numbers (the pages a table owns, or those with
// free space). A map is a row on some data page, stored either inline (a start
// page and a bitmap) or as references to whole pages of bitmap (type 0x05).

#include <cstdint>
#include <span>
#include <vector>

#include "jet/pages/page_source.h"

namespace halvaro::jet {

inline constexpr uint8_t kInlineUsageMap = 0x00;
inline constexpr uint8_t kReferenceUsageMap = 0x01;

// The page numbers a map marks, ascending. Throws CorruptData for an unknown map
// type, a bad reference page or a page past the end of the store.
std::vector<uint32_t> usage_map_pages(std::span<const uint8_t> map, const PageSource& pages);

}  // namespace halvaro::jet
