#include "jet/tables/long_value.h"

#include <string>
#include <unordered_set>

#include "jet/base/bytes.h"
#include "jet/pages/data_page.h"

namespace halvaro::jet {

void read_long_value(std::span<const uint8_t> reference, const PageSource& pages,
                     const FormatLayout& layout, std::vector<uint8_t>& out) {
  const ByteView ref(reference, "long value reference");
  const uint32_t header = ref.u32(0);
  const size_t length = header & kLongValueLengthMask;

  if ((header & kLongValueInline) != 0) {
    const auto data = ref.bytes(kLongValueReferenceSize, length);
    out.insert(out.end(), data.begin(), data.end());
    return;
  }
  // Never reserve more than the file could hold: the length comes from the file.
  const uint64_t file_bytes = uint64_t{pages.page_count()} * pages.page_size();
  if (length > file_bytes) throw CorruptData("long value length " + std::to_string(length) +
                                             " exceeds the file size");
  RowLocation location = RowLocation::unpack(ref.u32(4));

  if ((header & kLongValueSinglePage) != 0) {
    const auto row = raw_row(pages, location, layout, "long value");
    if (row.size() < length)
      throw CorruptData("long value of " + std::to_string(length) + " bytes stored in a row of " +
                        std::to_string(row.size()));
    out.insert(out.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(length));
    return;
  }

  // A chain of rows: each starts with the packed location of the next one.
  const size_t start = out.size();
  out.reserve(start + length);
  std::unordered_set<uint32_t> seen;
  while (out.size() - start < length) {
    if (location.page == 0)
      throw CorruptData("long value chain ends after " + std::to_string(out.size() - start) +
                        " of " + std::to_string(length) + " bytes");
    if (!seen.insert(location.page << 8 | location.row).second)
      throw CorruptData("long value chain loops");
    const ByteView row(raw_row(pages, location, layout, "long value"), "long value row");
    const size_t wanted = std::min(row.size() - std::min<size_t>(row.size(), 4),
                                   length - (out.size() - start));
    const auto data = row.bytes(4, wanted);
    out.insert(out.end(), data.begin(), data.end());
    location = RowLocation::unpack(row.u32(0));
  }
}

}  // namespace halvaro::jet
