#include "jet/pages/usage_map.h"

#include <string>

#include "jet/base/bytes.h"
#include "jet/base/format.h"

namespace halvaro::jet {
namespace {

void collect_bits(std::span<const uint8_t> bitmap, uint64_t first_page, uint32_t page_count,
                  std::vector<uint32_t>& out) {
  for (size_t byte = 0; byte < bitmap.size(); ++byte) {
    const uint8_t bits = bitmap[byte];
    if (bits == 0) continue;
    for (unsigned bit = 0; bit < 8; ++bit) {
      if ((bits & (1u << bit)) == 0) continue;
      const uint64_t page = first_page + byte * 8 + bit;
      if (page >= page_count)
        throw CorruptData("usage map marks page " + std::to_string(page) +
                          ", beyond the end of the file (" + std::to_string(page_count) +
                          " pages): the file is truncated");
      out.push_back(static_cast<uint32_t>(page));
    }
  }
}

}  // namespace

std::vector<uint32_t> usage_map_pages(std::span<const uint8_t> map, const PageSource& pages) {
  const ByteView view(map, "usage map");
  std::vector<uint32_t> out;
  switch (view.u8(0)) {
    case kInlineUsageMap:
      collect_bits(map.subspan(5), view.u32(1), pages.page_count(), out);
      return out;
    case kReferenceUsageMap: {
      // Each referenced page maps (page_size - 4) * 8 consecutive pages.
      const uint64_t pages_per_map = uint64_t{pages.page_size() - 4} * 8;
      for (size_t i = 0; (1 + 4 * (i + 1)) <= map.size(); ++i) {
        const uint32_t map_page = view.u32(1 + 4 * i);
        if (map_page == 0) continue;
        const ByteView bitmap(pages.page(map_page), "usage map page");
        if (bitmap.u8(0) != static_cast<uint8_t>(PageType::UsageMap))
          throw CorruptData("usage map refers to page " + std::to_string(map_page) +
                            ", which is not a usage map page");
        collect_bits(bitmap.span().subspan(4), i * pages_per_map, pages.page_count(), out);
      }
      return out;
    }
    default:
      throw CorruptData("unknown usage map type " + std::to_string(view.u8(0)));
  }
}

}  // namespace halvaro::jet
