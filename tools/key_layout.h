#pragma once
// Reading a General sort key by its layout, for texts too long or too varied for a
// character-by-character search. The key's sections pin a lot: each character with
// sort bytes takes one position in the accent section, and each unprintable
// character's entry names the position it came at. What they leave open is how the
// sort bytes split between characters; every split that fits is counted, and a
// character is read only when all of them agree on it (of those that leave the
// fewest characters without codes).

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/indexes/index_key.h"

namespace halvaro::tools {

struct KeyLayout {
  std::vector<std::vector<uint8_t>> codes;  // the sort bytes, split into codes
  std::vector<uint8_t> extra;               // one accent code per position (0x02: none)
  struct Unprintable {
    size_t position;
    uint8_t code;
  };
  std::vector<Unprintable> unprintables;
};

// The layout of an ascending key body (without the column's flag byte), or nothing
// when it has a part this reading does not cover (a secondary block, accent codes
// of more than one byte).
std::optional<KeyLayout> read_layout(const std::vector<uint8_t>& body);

// Whether an entry may stand for a character: false when what is already known of
// the character rules it out.
using EntryCheck = std::function<bool(char16_t, const jet::SortCodes&)>;

// For each character of the text, the one entry that every fitting reading gives
// it; characters on which readings differ (or that no reading fits) are left out.
std::map<char16_t, jet::SortCodes> agreed_entries(const std::u16string& text, const KeyLayout& layout,
                                                  const EntryCheck& allowed);

// Bytes as upper-case hex digits.
std::string hex(const std::vector<uint8_t>& bytes);

// Identifies an entry for comparisons.
std::string entry_text(const jet::SortCodes& c);

}  // namespace halvaro::tools
