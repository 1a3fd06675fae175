#pragma once
// Page 0 of a database: the format signature and the masked block that holds the
// code page, the encryption key and the database password.

#include <cstdint>
#include <span>
#include <vector>

#include "jet/base/format.h"

namespace halvaro::jet {

struct Header {
  Format format = Format::Jet4;
  uint16_t code_page = 0;       // text encoding of Jet 3 files (Windows code page)
  uint32_t encryption_key = 0;  // nonzero: pages are RC4-encrypted
  uint32_t sort_order = 0;
  bool password_protected = false;
};

// The format named by the signature at the start of page 0; throws CorruptData
// when the bytes are not those of a Jet 3 or Jet 4 database.
Format detect_format(std::span<const uint8_t> start);

// Masks or unmasks (the operation is its own inverse) the RC4-masked block of page 0.
void apply_header_mask(std::span<uint8_t> page0, Format format);

// Decodes page 0 (as stored, i.e. masked).
Header read_header(std::span<const uint8_t> page0);

}  // namespace halvaro::jet
