#include "jet/indexes/index_key.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "jet/base/errors.h"
#include "jet/base/utf16_text.h"

namespace halvaro::jet {

std::string sort_codes_text(const SortCodes& c) {
  auto hex = [](const uint8_t* bytes, size_t n) {
    std::string out;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
      std::snprintf(b, sizeof b, "%02X", bytes[i]);
      out += b;
    }
    return out;
  };
  const std::string sort = hex(c.sort.data(), c.sort_size), extra = hex(c.extra.data(), c.extra_size);
  switch (c.kind) {
    case CodeKind::Simple: return "S" + sort;
    case CodeKind::International: return "I" + sort + "," + extra;
    case CodeKind::Unprintable: return "U" + hex(&c.unprintable, 1);
    case CodeKind::Modifier: return "P" + hex(&c.modifier, 1);
    case CodeKind::InternationalExt: return "Z" + sort + "," + extra + "," + (c.secondary == 2 ? "1" : "");
    case CodeKind::Ignored: return "X";
    case CodeKind::Unknown: return "?";
  }
  return "?";
}

namespace {

constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kEndExtra = 0x00;
constexpr uint8_t kExtraPlaceholder = 0x02;

// The accent/case codes, one per character position, filled with placeholders
// where a character has none.
struct ExtraCodes {
  std::vector<uint8_t> bytes;
  size_t chars = 0;
  size_t unprintable_prefix = 0;
  bool used = false;

  void add(size_t char_offset, const uint8_t* code, size_t code_size, uint8_t modifier) {
    used = true;
    if (chars < char_offset) {
      bytes.insert(bytes.end(), char_offset - chars, kExtraPlaceholder);
      chars = char_offset;
    }
    if (code_size) {
      bytes.insert(bytes.end(), code, code + code_size);
      ++chars;
    } else if (!bytes.empty()) {
      bytes.back() = static_cast<uint8_t>(bytes.back() + modifier);
    } else {
      bytes.push_back(modifier);
      unprintable_prefix = 1;
    }
  }
};

void trim_trailing(std::vector<uint8_t>& v, uint8_t low, uint8_t high) {
  while (!v.empty() && v.back() >= low && v.back() <= high) v.pop_back();
}

template <class Lookup>
void append_text(KeyBytes& key, std::u16string_view text, bool ascending, const Lookup& lookup) {
  // Only the first 255 characters count, and trailing blanks do not.
  if (text.size() > 255) text = text.substr(0, 255);
  while (!text.empty() && text.back() == u' ') text.remove_suffix(1);

  const size_t begin = key.size();
  ExtraCodes extra;
  std::vector<uint8_t> unprintable;
  std::vector<uint8_t> secondary;
  size_t char_offset = 0;
  for (char16_t ch : text) {
    const SortCodes c = lookup(ch);
    if (c.kind == CodeKind::Unknown) {
      char code[8];
      std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(ch));
      throw ValueError(std::string("the text cannot be indexed: it holds the character U+") + code +
                       ", whose position in Access's General sort order is not known");
    }
    const size_t this_offset = char_offset;
    if (c.sort_size) {
      // One to four bytes: a range insert costs more than the bytes.
      for (uint8_t i = 0; i < c.sort_size; ++i) key.push_back(c.sort[i]);
      ++char_offset;
    }
    if (c.kind == CodeKind::Simple || c.kind == CodeKind::Ignored) continue;
    if (c.extra_size || c.modifier != 0) extra.add(this_offset, c.extra.data(), c.extra_size, c.modifier);
    if (c.kind == CodeKind::Unprintable) {
      size_t position = this_offset;
      if (extra.used) position = extra.bytes.size() + (this_offset - extra.chars) - extra.unprintable_prefix;
      const uint32_t code = static_cast<uint32_t>(7 + 4 * position) | 0x8000;
      unprintable.push_back(static_cast<uint8_t>(code >> 8));
      unprintable.push_back(static_cast<uint8_t>(code));
      unprintable.push_back(0x06);
      unprintable.push_back(c.unprintable);
    }
    if (c.secondary) secondary.push_back(c.secondary);
  }
  key.push_back(kEndText);

  trim_trailing(extra.bytes, 0, kExtraPlaceholder);
  if (!extra.bytes.empty() || !unprintable.empty() || !secondary.empty()) {
    key.insert(key.end(), extra.bytes.begin(), extra.bytes.end());
    if (!unprintable.empty() || !secondary.empty()) {
      key.push_back(kEndText);
      key.push_back(kEndText);
      if (!secondary.empty()) {
        trim_trailing(secondary, 3, 3);
        // Three 2-bit codes per byte, under a 0x80 marker.
        for (size_t i = 0; i < secondary.size(); i += 3) {
          uint8_t packed = 0x80;
          for (size_t k = 0; k < 3 && i + k < secondary.size(); ++k)
            packed = static_cast<uint8_t>(packed | secondary[i + k] << ((2 - k) * 2));
          key.push_back(packed);
        }
        for (int b : {0xFF, 0x02, 0x80, 0xFF, 0x80}) key.push_back(static_cast<uint8_t>(b));
        if (!unprintable.empty()) key.push_back(0xFF);
      }
      if (!unprintable.empty()) {
        key.push_back(kEndText);
        key.insert(key.end(), unprintable.begin(), unprintable.end());
      }
    }
  }
  if (!ascending) {
    key.push_back(kEndExtra);
    for (size_t i = begin; i < key.size(); ++i) key[i] = static_cast<uint8_t>(~key[i]);
  }
  key.push_back(kEndExtra);
}

}  // namespace

void append_general_text(KeyBytes& key, std::u16string_view text, bool ascending, const SortCodeLookup& lookup) {
  if (lookup)
    append_text(key, text, ascending, lookup);
  else
    append_text(key, text, ascending, general_sort_codes);
}

namespace {

template <class T>
std::array<uint8_t, sizeof(T)> big_endian(T value) {
  std::array<uint8_t, sizeof(T)> le{};
  std::memcpy(le.data(), &value, sizeof(T));
  std::array<uint8_t, sizeof(T)> be{};
  for (size_t i = 0; i < sizeof(T); ++i) be[i] = le[sizeof(T) - 1 - i];
  return be;
}

template <size_t N>
void put_integer(KeyBytes& key, std::array<uint8_t, N> be, bool ascending, bool signed_value) {
  if (signed_value) be[0] ^= 0x80;
  for (uint8_t b : be) key.push_back(ascending ? b : static_cast<uint8_t>(~b));
}

template <size_t N>
void put_floating(KeyBytes& key, std::array<uint8_t, N> be, bool ascending) {
  const bool negative = be[0] & 0x80;
  if (!negative) be[0] ^= 0x80;
  const bool flip = negative == ascending;
  for (uint8_t b : be) key.push_back(flip ? static_cast<uint8_t>(~b) : b);
}

// Binary data in 8-byte segments, each followed by a count byte: 9 means more
// segments follow, otherwise the number of real bytes in the last segment.
void put_binary(KeyBytes& key, const uint8_t* data, size_t size, bool ascending) {
  auto out = [&](uint8_t b, bool flip) { key.push_back(flip ? static_cast<uint8_t>(~b) : b); };
  size_t pos = 0;
  while (size - pos > 8) {
    for (size_t i = 0; i < 8; ++i) out(data[pos + i], !ascending);
    out(9, false);
    pos += 8;
  }
  if (size > pos) {
    const size_t last = size - pos;
    for (size_t i = 0; i < 8; ++i) out(i < last ? data[pos + i] : 0, !ascending);
    out(static_cast<uint8_t>(last), !ascending);
  }
}

int64_t whole(const FieldValue& v) {
  if (v.is<int64_t>()) return v.as<int64_t>();
  if (v.is<bool>()) return v.as<bool>() ? -1 : 0;
  if (v.is<double>()) return static_cast<int64_t>(v.as<double>());
  return 0;
}

double real(const FieldValue& v) {
  if (v.is<double>()) return v.as<double>();
  if (v.is<int64_t>()) return static_cast<double>(v.as<int64_t>());
  if (v.is<DateTime>()) return v.as<DateTime>().days;
  if (v.is<Currency>()) return static_cast<double>(v.as<Currency>().scaled) / 10000.0;
  return 0;
}

}  // namespace

void append_key_part(KeyBytes& key, ColumnType type, const FieldValue& value, bool ascending) {
  if (type == ColumnType::Boolean) {
    const bool on = value.is<bool>() ? value.as<bool>() : (value.is<int64_t>() && value.as<int64_t>() != 0);
    key.push_back(ascending ? 0x7F : 0x80);
    key.push_back(on == ascending ? 0x00 : 0xFF);
    return;
  }
  if (value.is_null()) {
    key.push_back(ascending ? 0x00 : 0xFF);
    return;
  }
  key.push_back(ascending ? 0x7F : 0x80);
  switch (type) {
    case ColumnType::Byte:
      put_integer(key, std::array<uint8_t, 1>{static_cast<uint8_t>(whole(value))}, ascending, false);
      break;
    case ColumnType::Integer:
      put_integer(key, big_endian(static_cast<int16_t>(whole(value))), ascending, true);
      break;
    case ColumnType::Long:
      put_integer(key, big_endian(static_cast<int32_t>(whole(value))), ascending, true);
      break;
    case ColumnType::Currency: {
      int64_t scaled = value.is<Currency>() ? value.as<Currency>().scaled
                       : value.is<int64_t>() ? value.as<int64_t>() * 10000
                                             : static_cast<int64_t>(real(value) * 10000.0);
      put_integer(key, big_endian(scaled), ascending, true);
      break;
    }
    case ColumnType::Single:
      put_floating(key, big_endian(static_cast<float>(real(value))), ascending);
      break;
    case ColumnType::Double:
    case ColumnType::DateTime:
      put_floating(key, big_endian(real(value)), ascending);
      break;
    case ColumnType::Guid: {
      // The index holds the GUID in its textual (big-endian) order.
      std::array<uint8_t, 16> b = value.as<Guid>().bytes;
      std::swap(b[0], b[3]);
      std::swap(b[1], b[2]);
      std::swap(b[4], b[5]);
      std::swap(b[6], b[7]);
      put_binary(key, b.data(), b.size(), ascending);
      break;
    }
    case ColumnType::Binary:
    case ColumnType::Ole: {
      const Binary& b = value.as<Binary>();
      put_binary(key, b.data(), b.size(), ascending);
      break;
    }
    case ColumnType::Numeric: {
      const Decimal& d = value.as<Decimal>();
      const bool negative = d.unscaled < 0;
      UInt128 magnitude = negative ? static_cast<UInt128>(-d.unscaled) : static_cast<UInt128>(d.unscaled);
      std::array<uint8_t, 17> b{};
      for (int i = 0; i < 16; ++i) b[16 - i] = static_cast<uint8_t>(magnitude >> (8 * i));
      if (negative == ascending)
        for (auto& x : b) x = static_cast<uint8_t>(~x);
      b[0] = negative ? 0x00 : 0xFF;
      key.insert(key.end(), b.begin(), b.end());
      break;
    }
    case ColumnType::Text:
    case ColumnType::Memo: {
      // Only the first 255 characters count; when their bytes are ASCII they are
      // the characters themselves, and no conversion is needed.
      const std::string& text = value.as<std::string>();
      std::array<char16_t, 255> units;
      const size_t n = std::min(text.size(), units.size());
      bool ascii = true;
      for (size_t i = 0; i < n && ascii; ++i) {
        ascii = static_cast<unsigned char>(text[i]) < 0x80;
        units[i] = static_cast<char16_t>(text[i]);
      }
      if (ascii)
        append_general_text(key, std::u16string_view(units.data(), n), ascending);
      else
        append_general_text(key, utf16_from_utf8(text), ascending);
      break;
    }
    case ColumnType::Boolean:
      break;
  }
}

void make_key(KeyBytes& key, const TableDef& table, const RealIndex& index, const std::vector<FieldValue>& values) {
  key.clear();
  for (const IndexColumn& ic : index.columns)
    append_key_part(key, table.columns.at(ic.column).type, values.at(ic.column), ic.ascending);
}

void TextKeyParts::append(KeyBytes& key, ColumnType type, size_t column, const FieldValue& value, bool ascending) {
  if ((type != ColumnType::Text && type != ColumnType::Memo) || !value.is<std::string>()) {
    append_key_part(key, type, value, ascending);
    return;
  }
  if (column >= parts_.size()) parts_.resize(column + 1);
  Part& part = parts_[column];
  const std::string& text = value.as<std::string>();
  if (part.known && part.ascending == ascending && part.text == text) {
    key.insert(key.end(), part.bytes.begin(), part.bytes.end());
    return;
  }
  const size_t start = key.size();
  append_key_part(key, type, value, ascending);  // a text that cannot be keyed is not kept
  part.known = true;
  part.ascending = ascending;
  part.text = text;
  part.bytes.assign(key.begin() + static_cast<std::ptrdiff_t>(start), key.end());
}

void make_key(KeyBytes& key, const TableDef& table, const RealIndex& index, const std::vector<FieldValue>& values,
              TextKeyParts& parts) {
  key.clear();
  for (const IndexColumn& ic : index.columns)
    parts.append(key, table.columns.at(ic.column).type, ic.column, values.at(ic.column), ic.ascending);
}

}  // namespace halvaro::jet
