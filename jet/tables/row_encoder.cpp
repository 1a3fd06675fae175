#include "jet/tables/row_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <stdexcept>
#include <type_traits>

#include "jet/base/errors.h"
#include "jet/base/utf16_text.h"

namespace halvaro::jet {

namespace {

std::string kind_name(const FieldValue& v) {
  static const char* names[] = {"null", "text", "whole number", "number", "currency",
                                "date/time", "Yes/No", "decimal", "GUID", "binary"};
  return names[v.value.index()];
}

[[noreturn]] void refuse(const Column& c, const std::string& where, const std::string& why) {
  throw ValueError(where + ": column " + c.name + " (" + type_name(c.type) + "): " + why);
}

template <class T>
void append_le(std::vector<uint8_t>& out, T value) {
  const size_t at = out.size();
  out.resize(at + sizeof(T));
  std::memcpy(out.data() + at, &value, sizeof(T));
}

int64_t whole_in_range(const Column& c, const FieldValue& v, const std::string& where,
                       int64_t low, int64_t high) {
  int64_t n = 0;
  if (v.is<int64_t>()) {
    n = v.as<int64_t>();
  } else if (v.is<bool>()) {
    n = v.as<bool>() ? -1 : 0;  // Access's True is -1
  } else if (v.is<double>() && std::nearbyint(v.as<double>()) == v.as<double>() &&
             std::fabs(v.as<double>()) < 9.2e18) {
    n = static_cast<int64_t>(v.as<double>());
  } else {
    refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
  }
  if (n < low || n > high)
    refuse(c, where, "the value " + std::to_string(n) + " is outside the column's range " +
                         std::to_string(low) + " to " + std::to_string(high));
  return n;
}

double as_double(const Column& c, const FieldValue& v, const std::string& where) {
  if (v.is<double>()) return v.as<double>();
  if (v.is<int64_t>()) return static_cast<double>(v.as<int64_t>());
  if (v.is<Currency>()) return static_cast<double>(v.as<Currency>().scaled) / 10000.0;
  refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
}

std::vector<uint8_t> encode_decimal(const Column& c, const Decimal& d, const std::string& where) {
  Int128 unscaled = d.unscaled;
  int scale = d.scale;
  // Bring the value to the column's scale; digits that would be lost are an error.
  while (scale < c.scale) {
    unscaled *= 10;
    ++scale;
  }
  while (scale > c.scale) {
    if (unscaled % 10 != 0) refuse(c, where, "the value " + to_string(d) + " has too many decimal places");
    unscaled /= 10;
    --scale;
  }
  const bool negative = unscaled < 0;
  UInt128 magnitude = negative ? static_cast<UInt128>(-unscaled) : static_cast<UInt128>(unscaled);
  UInt128 limit = 1;
  for (int i = 0; i < c.precision; ++i) limit *= 10;
  if (magnitude >= limit)
    refuse(c, where, "the value " + to_string(d) + " needs more than " +
                         std::to_string(c.precision) + " digits");
  std::vector<uint8_t> out(17, 0);
  out[0] = negative ? 0x80 : 0x00;
  // Four 32-bit little-endian words, the most significant first.
  for (int word = 0; word < 4; ++word) {
    auto w = static_cast<uint32_t>(magnitude >> (32 * (3 - word)));
    for (int b = 0; b < 4; ++b) out[1 + 4 * word + b] = static_cast<uint8_t>(w >> (8 * b));
  }
  return out;
}

}  // namespace

bool is_long_value(ColumnType type) { return type == ColumnType::Memo || type == ColumnType::Ole; }

namespace {

char16_t unit(char16_t ch) { return ch; }
char16_t unit(char ch) { return static_cast<unsigned char>(ch); }  // ASCII text: bytes are characters

// A text that begins with U+FEFF would, stored plain, start with FF FE: the mark of
// a compressed text, and read back as garbage. In a compressible column it is stored
// compressed instead, wide characters in their own segments (each 0x00 byte
// switches). A unit with a zero low byte cannot stand in a segment: the caller
// refuses such a text, which has no form that reads back.
void put_marked_text(std::vector<uint8_t>& out, std::u16string_view text) {
  out.push_back(0xFF);
  out.push_back(0xFE);
  bool one_byte = true;
  for (const char16_t ch : text) {
    const bool fits = ch < 0x100;
    if (fits != one_byte) {
      out.push_back(0);
      one_byte = fits;
    }
    out.push_back(static_cast<uint8_t>(ch));
    if (!fits) out.push_back(static_cast<uint8_t>(ch >> 8));
  }
}

template <class Text>
void put_text(std::vector<uint8_t>& out, const Text& text, bool compressible) {
  if constexpr (std::is_same_v<typename Text::value_type, char16_t>) {
    if (compressible && !text.empty() && text[0] == 0xFEFF) return put_marked_text(out, text);
  }
  bool narrow = compressible && text.size() > 2;
  if (narrow)
    for (auto ch : text)
      if (unit(ch) == 0 || unit(ch) > 0xFF) {
        narrow = false;
        break;
      }
  if (narrow) {
    out.reserve(text.size() + 2);
    out.push_back(0xFF);
    out.push_back(0xFE);
    if constexpr (std::is_same_v<typename Text::value_type, char>)
      out.insert(out.end(), text.begin(), text.end());
    else
      for (auto ch : text) out.push_back(static_cast<uint8_t>(unit(ch)));
  } else {
    out.reserve(text.size() * 2);
    for (auto ch : text) {
      out.push_back(static_cast<uint8_t>(unit(ch)));
      out.push_back(static_cast<uint8_t>(unit(ch) >> 8));
    }
  }
}

}  // namespace

std::vector<uint8_t> encode_text(const std::u16string& text, bool compressible) {
  std::vector<uint8_t> out;
  put_text(out, text, compressible);
  return out;
}

void encode_value(StoredValue& out, const Column& c, const FieldValue& v, const std::string& where) {
  out.present = false;
  out.bytes.clear();
  if (v.is_null()) return;
  out.present = true;
  auto& b = out.bytes;
  switch (c.type) {
    case ColumnType::Boolean:
      if (v.is<bool>())
        out.present = v.as<bool>();
      else if (v.is<int64_t>())
        out.present = v.as<int64_t>() != 0;
      else
        refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      break;
    case ColumnType::Byte:
      b.push_back(static_cast<uint8_t>(whole_in_range(c, v, where, 0, 255)));
      break;
    case ColumnType::Integer:
      append_le(b, static_cast<int16_t>(whole_in_range(c, v, where, -32768, 32767)));
      break;
    case ColumnType::Long:
      append_le(b, static_cast<int32_t>(whole_in_range(c, v, where, std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max())));
      break;
    case ColumnType::Currency: {
      int64_t scaled = 0;
      if (v.is<Currency>()) {
        scaled = v.as<Currency>().scaled;
      } else if (v.is<int64_t>()) {
        if (v.as<int64_t>() > 922337203685477 || v.as<int64_t>() < -922337203685477)
          refuse(c, where, "the value " + std::to_string(v.as<int64_t>()) + " is outside the Currency range");
        scaled = v.as<int64_t>() * 10000;
      } else if (v.is<double>()) {
        double x = v.as<double>() * 10000.0;
        if (!(std::fabs(x) < 9.2e18)) refuse(c, where, "the value is outside the Currency range");
        scaled = static_cast<int64_t>(std::llround(x));
      } else {
        refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      }
      append_le(b, scaled);
      break;
    }
    case ColumnType::Single: {
      double x = as_double(c, v, where);
      if (std::isfinite(x) && std::fabs(x) > std::numeric_limits<float>::max())
        refuse(c, where, "the value is outside the Single range");
      append_le(b, static_cast<float>(x));
      break;
    }
    case ColumnType::Double:
      append_le(b, as_double(c, v, where));
      break;
    case ColumnType::DateTime:
      if (!v.is<DateTime>()) refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      append_le(b, v.as<DateTime>().days);
      break;
    case ColumnType::Guid:
      if (!v.is<Guid>()) refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      b.assign(v.as<Guid>().bytes.begin(), v.as<Guid>().bytes.end());
      break;
    case ColumnType::Numeric:
      if (v.is<Decimal>())
        b = encode_decimal(c, v.as<Decimal>(), where);
      else if (v.is<int64_t>())
        b = encode_decimal(c, Decimal{v.as<int64_t>(), 0}, where);
      else
        refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      break;
    case ColumnType::Text:
    case ColumnType::Memo: {
      if (!v.is<std::string>()) refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      const std::string& utf8 = v.as<std::string>();
      // ASCII (most text) is stored without a UTF-16 copy: its bytes are its characters.
      const bool ascii =
          std::all_of(utf8.begin(), utf8.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
      std::u16string text;
      if (!ascii) {
        try {
          text = utf16_from_utf8(utf8);
        } catch (const std::invalid_argument&) {
          refuse(c, where, "the text is not valid UTF-8");
        }
      }
      if (c.compressed_unicode && !text.empty() && text[0] == 0xFEFF)
        for (const char16_t unit : text)
          if ((unit & 0xFF) == 0) {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(unit));
            refuse(c, where, std::string("a text that begins with U+FEFF cannot hold U+") + code +
                                 " in this column: it would not read back as written");
          }
      const size_t characters = ascii ? utf8.size() : text.size();
      if (c.type == ColumnType::Text && characters * 2 > c.size)
        refuse(c, where, "the text \"" + utf8 + "\" has " + std::to_string(characters) +
                             " characters; the column holds at most " + std::to_string(c.size / 2));
      if (ascii)
        put_text(b, std::string_view(utf8), c.compressed_unicode);
      else
        put_text(b, text, c.compressed_unicode);
      break;
    }
    case ColumnType::Binary:
    case ColumnType::Ole:
      if (!v.is<Binary>()) refuse(c, where, "a " + kind_name(v) + " value cannot be stored here");
      if (c.type == ColumnType::Binary && v.as<Binary>().size() > c.size)
        refuse(c, where, "the value has " + std::to_string(v.as<Binary>().size()) +
                             " bytes; the column holds at most " + std::to_string(c.size));
      b = v.as<Binary>();
      break;
  }
}

namespace {

size_t fixed_area(const TableDef& layout) {
  size_t end = 0;
  for (const auto& c : layout.columns)
    if (c.fixed && c.type != ColumnType::Boolean) end = std::max<size_t>(end, c.fixed_offset + c.size);
  return end;
}

size_t variable_slots(const TableDef& layout) {
  size_t slots = 0;
  for (const auto& c : layout.columns)
    if (!c.fixed) slots = std::max<size_t>(slots, c.variable_index + 1u);
  return slots;
}

}  // namespace

size_t assembled_size(const TableDef& layout, const std::vector<StoredValue>& values) {
  size_t size = 2 + fixed_area(layout);
  const size_t slots = variable_slots(layout);
  for (size_t i = 0; i < layout.columns.size(); ++i)
    if (!layout.columns[i].fixed && values[i].present) size += values[i].bytes.size();
  return size + 2 + 2 * slots + 2 + (layout.max_columns + 7u) / 8;
}

std::vector<uint8_t> assemble_row(const TableDef& layout, const std::vector<StoredValue>& values) {
  const size_t fixed_end = 2 + fixed_area(layout);
  const size_t slots = variable_slots(layout);
  std::vector<uint8_t> row;
  row.reserve(assembled_size(layout, values));  // one allocation for the whole row
  row.assign(fixed_end, 0);
  row[0] = static_cast<uint8_t>(layout.max_columns);
  row[1] = static_cast<uint8_t>(layout.max_columns >> 8);
  // At most 255 columns (and so variable slots) per table: the scratch lives on the stack.
  if (layout.max_columns > 255 || slots > 255) throw JetError("table " + layout.name + ": more than 255 columns");
  std::array<uint8_t, 32> null_mask{};
  const size_t mask_size = (layout.max_columns + 7u) / 8;
  std::array<const StoredValue*, 256> by_slot{};
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    const Column& c = layout.columns[i];
    const StoredValue& v = values[i];
    if (v.present) null_mask[c.number / 8] |= static_cast<uint8_t>(1u << (c.number % 8));
    if (c.fixed) {
      if (v.present && c.type != ColumnType::Boolean)
        std::memcpy(row.data() + 2 + c.fixed_offset, v.bytes.data(), std::min<size_t>(v.bytes.size(), c.size));
    } else {
      by_slot[c.variable_index] = &v;
    }
  }
  std::array<uint16_t, 257> offsets{};
  for (size_t s = 0; s < slots; ++s) {
    offsets[s] = static_cast<uint16_t>(row.size());
    if (by_slot[s] && by_slot[s]->present)
      row.insert(row.end(), by_slot[s]->bytes.begin(), by_slot[s]->bytes.end());
  }
  offsets[slots] = static_cast<uint16_t>(row.size());
  for (size_t s = slots + 1; s-- > 0;) {
    row.push_back(static_cast<uint8_t>(offsets[s]));
    row.push_back(static_cast<uint8_t>(offsets[s] >> 8));
  }
  row.push_back(static_cast<uint8_t>(slots));
  row.push_back(static_cast<uint8_t>(slots >> 8));
  row.insert(row.end(), null_mask.begin(), null_mask.begin() + static_cast<long>(mask_size));
  return row;
}

}  // namespace halvaro::jet
