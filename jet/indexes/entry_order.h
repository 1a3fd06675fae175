#pragma once
// The order of a batch of leaf entries by key bytes, then row address (the order of
// index_page::compare_entries), found eight key bytes at a time. A batch of an item
// table's index shares long key prefixes (claimant, tax period), which a sort that
// compares whole entries reads again at every comparison.

#include <cstdint>
#include <span>
#include <vector>

namespace halvaro::jet {

// `bytes` holds the entries back to back, entry i ending at ends[i]; each is a key and
// then a four-byte row address. Returns the entries' numbers in order.
std::vector<uint32_t> leaf_entry_order(std::span<const uint8_t> bytes, std::span<const uint32_t> ends);

}  // namespace halvaro::jet
