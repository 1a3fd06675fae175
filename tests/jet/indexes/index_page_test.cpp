// Index pages that Access wrote, decoded: laid out again with the page's own prefix
// length, the entries, the map of where each ends and the free space must come out as
// Access stored them, and the entries in order. This checks the decoder against bytes
// another implementation wrote (a round trip through our own encoder would agree with
// itself).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "jet/indexes/index_page.h"
#include "jet/pages/page_bytes.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

constexpr size_t kPage = 4096;
constexpr size_t kFreeSpace = 2, kPrefix = 24, kMap = 27;

struct PagesSeen {
  size_t pages = 0, entries = 0;
};

// The index pages of one Jet 4 file, each decoded and checked against its bytes.
PagesSeen round_trip_index_pages(const std::filesystem::path& file) {
  const std::string bytes = test::file_bytes(file);
  PagesSeen seen;
  for (size_t p = 1; p < bytes.size() / kPage; ++p) {
    const auto* page = reinterpret_cast<const uint8_t*>(bytes.data() + p * kPage);
    if (page[0] != 0x03 && page[0] != 0x04) continue;
    const auto number = static_cast<uint32_t>(p);
    IndexNode node;
    try {
      node = index_page::decode(page, number);
    } catch (const std::exception& e) {
      ADD_FAILURE() << file.filename() << " page " << p << ": " << e.what();
      continue;
    }
    for (size_t i = 1; i < node.entries.size(); ++i)
      EXPECT_LT(index_page::compare_entries(node.entries[i - 1], node.entries[i], node.leaf), 0)
          << file.filename() << " page " << p << " entry " << i;

    // The page laid out again from the decoded entries with the page's own prefix
    // length: the first entry whole, the others without the prefix, a bit of the map
    // where each ends.
    const size_t prefix = bytes::get16(page + kPrefix);
    std::vector<uint8_t> map(index_page::kEntryStart - kMap), stored;
    for (size_t i = 0; i < node.entries.size(); ++i) {
      const Entry e = node.entries[i];
      const size_t skip = i == 0 ? 0 : prefix;
      // (decode refuses an entry shorter than the prefix and a map past the page)
      stored.insert(stored.end(), e.begin() + static_cast<long>(std::min(skip, e.size())), e.end());
      if (stored.size() / 8 < map.size()) map[stored.size() / 8] |= static_cast<uint8_t>(1u << (stored.size() % 8));
    }
    const size_t free_bytes = bytes::get16(page + kFreeSpace);
    EXPECT_EQ(stored.size() + free_bytes, index_page::kCapacity) << file.filename() << " page " << p;
    EXPECT_EQ(std::memcmp(map.data(), page + kMap, map.size()), 0)
        << file.filename() << " page " << p << ": the map of entry ends differs";
    EXPECT_EQ(std::memcmp(stored.data(), page + index_page::kEntryStart, stored.size()), 0)
        << file.filename() << " page " << p << ": the entries differ";
    ++seen.pages;
    seen.entries += node.entries.size();
  }
  return seen;
}

TEST(IndexPage, AccessWrittenPagesDecodeAndEncodeToTheirOwnBytes) {
  HALVARO_REQUIRE_FIXTURE(big_2000, "access/V2000/bigIndexTestV2000.mdb");
  HALVARO_REQUIRE_FIXTURE(big_2003, "access/V2003/bigIndexTestV2003.mdb");
  HALVARO_REQUIRE_FIXTURE(composite, "access/V2000/compIndexTestV2000.mdb");
  HALVARO_REQUIRE_FIXTURE(sort_order, "sort-order/general.mdb");
  PagesSeen total;
  for (const auto& file : {big_2000, big_2003, composite, sort_order}) {
    const PagesSeen seen = round_trip_index_pages(file);
    EXPECT_GT(seen.pages, 0u) << file.filename();
    total.pages += seen.pages;
    total.entries += seen.entries;
  }
  // Leaves with many entries each, so that the map's bits are dense and sparse both.
  EXPECT_GT(total.entries, 10 * total.pages);
}

}  // namespace
}  // namespace halvaro::jet
