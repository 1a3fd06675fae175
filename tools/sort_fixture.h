#pragma once
// The rows of the sort-order fixture (table Characters) with the entries its three
// indexes hold for them: AloneIdx (the character alone), BetweenIdx ("a", the
// character, "b"; descending) and TwiceIdx ("A" and the character twice, then Code).

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace halvaro::tools {

struct FixtureRow {
  uint32_t code = 0;  // the code point
  // The row's texts, built from its code point: read back, a text that is U+FEFF
  // alone looks like the mark of a compressed text (FF FE) to any reader.
  std::u16string alone, between, twice;
  std::string stored_alone, stored_between, stored_twice;  // as read, UTF-8
  // Each index's text part of the key, flag byte included (the Code part of TwiceIdx
  // cut off); empty when the index has no entry for the row.
  std::vector<uint8_t> alone_key, between_key, twice_key;
};

// A code point as UTF-16 (a surrogate pair beyond U+FFFF).
std::u16string utf16_of(uint32_t code);

// Throws when the file or its table or indexes are missing.
std::vector<FixtureRow> read_sort_fixture(const std::filesystem::path& file);

}  // namespace halvaro::tools
