#pragma once
// UTF-8 (the engine's text) to the UTF-16 code units Jet 4 stores, refusing bytes
// that are not UTF-8 (the reader's decoder replaces them; a writer must not).

#include <cstdint>
#include <string>
#include <string_view>

namespace halvaro::jet {

// Throws std::invalid_argument for bytes that are not UTF-8.
std::u16string utf16_from_utf8(std::string_view text);

}  // namespace halvaro::jet
