// Index pages written by Access (and, in the sort-order file, by an independent Jet
// implementation), decoded: laid out again with the page's own prefix length, the
// entries, the map of where each ends and the free space must come out as stored, and
// the entries in order. This checks the decoder against bytes others wrote (a round trip
// through our own encoder would agree with itself).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
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
PagesSeen check_index_pages(const std::filesystem::path& file) {
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

TEST(IndexPage, PagesOthersWroteDecodeIntoEntriesThatLayOutTheirBytes) {
  HALVARO_REQUIRE_FIXTURE(big_2000, "access/V2000/bigIndexTestV2000.mdb");
  HALVARO_REQUIRE_FIXTURE(big_2003, "access/V2003/bigIndexTestV2003.mdb");
  HALVARO_REQUIRE_FIXTURE(composite, "access/V2000/compIndexTestV2000.mdb");
  HALVARO_REQUIRE_FIXTURE(sort_order, "sort-order/general.mdb");
  PagesSeen total;
  for (const auto& file : {big_2000, big_2003, composite, sort_order}) {
    const PagesSeen seen = check_index_pages(file);
    EXPECT_GT(seen.pages, 0u) << file.filename();
    total.pages += seen.pages;
    total.entries += seen.entries;
  }
  // Pages with many entries each: in some of the sort-order file's, two entries end in one
  // byte of the map.
  EXPECT_GT(total.entries, 10 * total.pages);
}

// A damaged page is refused with its number, never read past its end or into entries
// shorter than a row address.
TEST(IndexPage, ADamagedPageIsRefusedByName) {
  auto leaf = [] {
    std::vector<uint8_t> page(kPage);
    page[0] = 0x04;
    return page;
  };
  auto mark_end = [](std::vector<uint8_t>& page, size_t at) {
    page[kMap + at / 8] |= static_cast<uint8_t>(1u << (at % 8));
  };
  auto refusal = [](const std::vector<uint8_t>& page) -> std::string {
    try {
      index_page::decode(page.data(), 77);
    } catch (const std::runtime_error& e) {
      return e.what();
    }
    return "";
  };

  std::vector<uint8_t> data_page = leaf();
  data_page[0] = 0x01;
  EXPECT_EQ(refusal(data_page), "page 77 is not an index page");

  std::vector<uint8_t> past_end = leaf();
  mark_end(past_end, 8);
  mark_end(past_end, (index_page::kEntryStart - kMap) * 8 - 1);  // the map's last bit lies past the page
  EXPECT_EQ(refusal(past_end), "index page 77 has a broken entry map");

  std::vector<uint8_t> short_entry = leaf();
  mark_end(short_entry, 8);
  mark_end(short_entry, 11);  // three bytes: less than a row address
  EXPECT_EQ(refusal(short_entry), "index page 77 has a short entry");

  std::vector<uint8_t> long_prefix = leaf();
  bytes::put16(long_prefix.data() + kPrefix, 9);  // longer than the first entry
  mark_end(long_prefix, 8);
  EXPECT_EQ(refusal(long_prefix), "index page 77 has a short entry");

  // Two entries ending in one byte of the map, the second sharing the first's prefix.
  std::vector<uint8_t> dense = leaf();
  bytes::put16(dense.data() + kPrefix, 4);
  for (size_t i = 0; i < 8; ++i) dense[index_page::kEntryStart + i] = static_cast<uint8_t>(0x10 + i);
  for (size_t i = 0; i < 4; ++i) dense[index_page::kEntryStart + 8 + i] = static_cast<uint8_t>(0x20 + i);
  mark_end(dense, 8);
  mark_end(dense, 12);
  const IndexNode node = index_page::decode(dense.data(), 77);
  ASSERT_EQ(node.entries.size(), 2u);
  const std::vector<uint8_t> second(node.entries[1].begin(), node.entries[1].end());
  EXPECT_EQ(second, (std::vector<uint8_t>{0x10, 0x11, 0x12, 0x13, 0x20, 0x21, 0x22, 0x23}));
}

}  // namespace
}  // namespace halvaro::jet
