#pragma once
// Text as the files store it -> UTF-8, and back. Jet 4 keeps text as UCS-2
// (little-endian UTF-16 code units), optionally in its "compressed" form; Jet 3
// keeps text in the single-byte Windows code page named in the file header.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace halvaro::jet {

// Little-endian UTF-16 -> UTF-8. Unpaired surrogates become U+FFFD; an odd
// trailing byte is ignored.
std::string decode_ucs2(std::span<const uint8_t> bytes);
void append_ucs2(std::string& out, std::span<const uint8_t> bytes);

// Jet 4 text: compressed when it starts with FF FE, plain UCS-2 otherwise.
std::string decode_jet4_text(std::span<const uint8_t> bytes);
void decode_jet4_text(std::span<const uint8_t> bytes, std::string& out);  // replaces out

// Single-byte (or, through the system's converters, multi-byte) Windows code page -> UTF-8.
// Code page 0 means 1252, the default of Western systems.
std::string decode_code_page(std::span<const uint8_t> bytes, uint16_t code_page);

// UTF-8 -> UTF-16 code units (invalid sequences become U+FFFD).
std::u16string utf8_to_utf16(std::string_view text);

// Jet 4 text bytes for `text`: the compressed form when `compress` is set and it
// is shorter (and possible: no character has a zero low byte), else plain UCS-2.
std::vector<uint8_t> encode_jet4_text(std::string_view text, bool compress);

}  // namespace halvaro::jet
