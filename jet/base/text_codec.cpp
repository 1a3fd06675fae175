#include "jet/base/text_codec.h"

#include <array>
#include <string>

#include "platform/code_page.h"

namespace halvaro::jet {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Writes c as UTF-8 at out (room for four bytes) and returns the end.
char* put_utf8(char* out, char32_t c) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

void append_utf8(std::string& out, char32_t c) {
  char buffer[4];
  out.append(buffer, put_utf8(buffer, c));
}

// UCS-2 units -> UTF-8 at out (room for three bytes per unit); returns the end.
char* put_ucs2(char* out, std::span<const uint8_t> bytes) {
  const size_t units = bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    char32_t c = char32_t(bytes[2 * i]) | char32_t(bytes[2 * i + 1]) << 8;
    if (c < 0x80) {
      *out++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units) {
      const char32_t low = char32_t(bytes[2 * i + 2]) | char32_t(bytes[2 * i + 3]) << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xD800 && c < 0xE000) {
      c = kReplacement;
    }
    out = put_utf8(out, c);
  }
  return out;
}

// Latin-1 bytes (a compressed segment) -> UTF-8 at out (room for two bytes each).
char* put_latin1(char* out, std::span<const uint8_t> bytes) {
  for (const uint8_t b : bytes) {
    if (b < 0x80) {
      *out++ = static_cast<char>(b);
    } else {
      *out++ = static_cast<char>(0xC0 | (b >> 6));
      *out++ = static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return out;
}

// Windows-1252 bytes 0x80-0x9F; the rest of the page equals Latin-1. The five
// bytes without a character map to the C1 controls, as Windows converts them,
// so that no byte is lost.
constexpr std::array<char16_t, 32> kCp1252High{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string decode_cp1252(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const uint8_t b : bytes) {
    if (b < 0x80)
      out.push_back(static_cast<char>(b));
    else if (b < 0xA0)
      append_utf8(out, kCp1252High[b - 0x80]);
    else
      append_utf8(out, b);
  }
  return out;
}

}  // namespace

void append_ucs2(std::string& out, std::span<const uint8_t> bytes) {
  const size_t start = out.size();
  out.resize(start + bytes.size() / 2 * 3);
  char* end = put_ucs2(out.data() + start, bytes);
  out.resize(static_cast<size_t>(end - out.data()));
}

std::string decode_ucs2(std::span<const uint8_t> bytes) {
  std::string out;
  append_ucs2(out, bytes);
  return out;
}

void decode_jet4_text(std::span<const uint8_t> bytes, std::string& out) {
  out.clear();
  if (bytes.size() < 2 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
    append_ucs2(out, bytes);
    return;
  }
  // Compressed: segments separated by 0x00 bytes alternate between one byte per
  // character (high byte zero) and plain UCS-2. Text is only stored this way when
  // no character has a zero byte, so every 0x00 is a switch.
  out.resize(bytes.size() * 2);
  char* end = out.data();
  bool one_byte = true;
  size_t start = 2;
  for (size_t i = 2; i <= bytes.size(); ++i) {
    if (i < bytes.size() && bytes[i] != 0) continue;
    const auto segment = bytes.subspan(start, i - start);
    end = one_byte ? put_latin1(end, segment) : put_ucs2(end, segment);
    one_byte = !one_byte;
    start = i + 1;
  }
  out.resize(static_cast<size_t>(end - out.data()));
}

std::string decode_jet4_text(std::span<const uint8_t> bytes) {
  std::string out;
  decode_jet4_text(bytes, out);
  return out;
}

std::string decode_code_page(std::span<const uint8_t> bytes, uint16_t code_page) {
  if (code_page == 0 || code_page == 1252) return decode_cp1252(bytes);
  bool ascii = true;
  for (const uint8_t b : bytes) ascii = ascii && b < 0x80;
  if (ascii) return std::string(bytes.begin(), bytes.end());
  // A code page the system cannot convert reads as the Western one: no byte is lost.
  std::optional<std::string> text = platform::code_page_to_utf8(bytes, code_page);
  return text ? std::move(*text) : decode_cp1252(bytes);
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    char32_t c = kReplacement;
    size_t length = 1;
    if (b < 0x80) {
      c = b;
    } else if (b >= 0xC2 && b < 0xF5) {
      length = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
      if (i + length <= text.size()) {
        c = b & (0x3F >> (length - 1));
        for (size_t k = 1; k < length; ++k) {
          const auto next = static_cast<uint8_t>(text[i + k]);
          if ((next & 0xC0) != 0x80) {
            c = kReplacement;
            length = k;
            break;
          }
          c = (c << 6) | (next & 0x3F);
        }
        if ((length == 3 && (c < 0x800 || (c >= 0xD800 && c < 0xE000))) ||
            (length == 4 && (c < 0x10000 || c > 0x10FFFF)))
          c = kReplacement;
      } else {
        length = text.size() - i;
      }
    }
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
    i += length;
  }
  return out;
}

std::vector<uint8_t> encode_jet4_text(std::string_view text, bool compress) {
  const std::u16string units = utf8_to_utf16(text);
  std::vector<uint8_t> plain;
  plain.reserve(units.size() * 2);
  for (const char16_t u : units) {
    plain.push_back(static_cast<uint8_t>(u & 0xFF));
    plain.push_back(static_cast<uint8_t>(u >> 8));
  }
  if (!compress) return plain;

  std::vector<uint8_t> packed{0xFF, 0xFE};
  bool one_byte = true;
  for (const char16_t u : units) {
    if ((u & 0xFF) == 0) return plain;  // would read as a mode switch
    const bool fits = u < 0x100;
    if (fits != one_byte) {
      packed.push_back(0);
      one_byte = fits;
    }
    packed.push_back(static_cast<uint8_t>(u & 0xFF));
    if (!fits) packed.push_back(static_cast<uint8_t>(u >> 8));
  }
  return packed.size() < plain.size() ? packed : plain;
}

}  // namespace halvaro::jet
