#include "jet/stored_row.h"

#include <cstring>

#include "jet/page_bytes.h"
#include "jet/page_store.h"
#include "jet/row_page.h"
#include "jet/utf16_text.h"

namespace halvaro::jet {

namespace {

[[noreturn]] void broken(const PageStore& pages, const std::string& what) {
  throw JetError(pages.path().string() + ": " + what);
}

std::string decode_text(std::span<const uint8_t> b) {
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    std::u16string out;
    bool narrow = true;
    for (size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        narrow = !narrow;
        ++i;
      } else if (narrow) {
        out.push_back(b[i++]);
      } else {
        if (i + 1 >= b.size()) break;
        out.push_back(static_cast<char16_t>(b[i] | b[i + 1] << 8));
        i += 2;
      }
    }
    return utf8_from_utf16(out);
  }
  return utf8_from_ucs2(b.data(), b.size() & ~size_t{1});
}

std::vector<uint8_t> long_value(const PageStore& pages, std::span<const uint8_t> ref) {
  if (ref.size() < 12) broken(pages, "a long value reference is truncated");
  const uint32_t header = bytes::get32(ref.data());
  const uint32_t length = header & 0x3FFFFFFF;
  const uint8_t kind = static_cast<uint8_t>(header >> 24) & 0xC0;
  if (kind == 0x80) {
    if (ref.size() < 12 + length) broken(pages, "an inline long value is truncated");
    return {ref.begin() + 12, ref.begin() + 12 + length};
  }
  std::vector<uint8_t> out;
  uint32_t pointer = bytes::get32(ref.data() + 4);
  for (size_t hops = 0; out.size() < length; ++hops) {
    if (hops > pages.page_count()) broken(pages, "a long value's page chain loops");
    bool deleted = false;
    auto chunk = stored_row_at(pages, pointer, deleted);
    if (kind == 0x40) {
      out.assign(chunk.begin(), chunk.end());
      break;
    }
    if (chunk.size() < 4) broken(pages, "a long value's page chain is broken");
    pointer = bytes::get32(chunk.data());
    out.insert(out.end(), chunk.begin() + 4, chunk.end());
    if (pointer == 0) break;
  }
  if (out.size() < length) broken(pages, "a long value is shorter than its length");
  out.resize(length);
  return out;
}

template <class T>
T load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

}  // namespace

std::span<const uint8_t> stored_row_at(const PageStore& pages, uint32_t row_pointer, bool& deleted) {
  for (int hops = 0; hops < 4; ++hops) {
    const auto at = bytes::RowAddress::from_pointer(row_pointer);
    if (at.page >= pages.page_count()) broken(pages, "a row address points past the end of the file");
    const uint8_t* page = pages.read(at.page);
    if (page[0] != 0x01 || at.row >= row_page::row_count(page))
      broken(pages, "no row " + std::to_string(at.row) + " on page " + std::to_string(at.page));
    auto b = row_page::row_bounds(page, pages.page_size(), at.row);
    if (b.start < row_page::kHeader || b.end > pages.page_size() || b.end < b.start)
      broken(pages, "row " + std::to_string(at.row) + " on page " + std::to_string(at.page) + " has bad bounds");
    // The target of an overflow pointer carries the deleted flag so that scans skip
    // it; reached through the pointer it is the live row.
    deleted = b.deleted && hops == 0;
    if (deleted) return {};
    if (!b.overflow || hops > 0) return {page + b.start, b.end - b.start};
    if (b.end - b.start < 4) broken(pages, "an overflow row pointer is truncated");
    row_pointer = bytes::get32(page + b.start);
  }
  broken(pages, "overflow rows point at each other");
}

std::vector<FieldValue> decode_stored_row(const PageStore& pages, const TableLayout& layout,
                                          std::span<const uint8_t> row) {
  std::vector<FieldValue> values(layout.columns.size());
  if (row.size() < 4) broken(pages, "a row is truncated");
  const uint16_t columns = bytes::get16(row.data());
  const size_t mask_size = (columns + 7u) / 8;
  if (row.size() < 2 + mask_size + 2) broken(pages, "a row is truncated");
  const uint8_t* mask = row.data() + row.size() - mask_size;
  const size_t var_count_at = row.size() - mask_size - 2;
  const uint16_t var_count = bytes::get16(row.data() + var_count_at);
  if (var_count_at < 2u * (var_count + 1u)) broken(pages, "a row's variable table is truncated");
  auto var_offset = [&](size_t slot) { return bytes::get16(row.data() + var_count_at - 2 * (slot + 1)); };
  for (size_t i = 0; i < layout.columns.size(); ++i) {
    const ColumnLayout& c = layout.columns[i];
    const bool present = c.number < columns && (mask[c.number / 8] >> (c.number % 8) & 1);
    if (c.type == ColumnType::Boolean) {
      values[i] = FieldValue(present);
      continue;
    }
    if (!present) continue;
    std::span<const uint8_t> b;
    if (c.fixed) {
      if (2u + c.fixed_offset + c.size > var_count_at) broken(pages, "a fixed column lies outside its row");
      b = row.subspan(2 + c.fixed_offset, c.size);
    } else {
      if (c.variable_index >= var_count) continue;
      size_t start = var_offset(c.variable_index), end = var_offset(c.variable_index + 1u);
      if (start > end || end > var_count_at) broken(pages, "a variable column lies outside its row");
      b = row.subspan(start, end - start);
    }
    switch (c.type) {
      case ColumnType::Byte: values[i] = FieldValue(int64_t{b[0]}); break;
      case ColumnType::Integer: values[i] = FieldValue(int64_t{load<int16_t>(b.data())}); break;
      case ColumnType::Long: values[i] = FieldValue(int64_t{load<int32_t>(b.data())}); break;
      case ColumnType::Currency: values[i] = FieldValue(Currency{load<int64_t>(b.data())}); break;
      case ColumnType::Single: values[i] = FieldValue(double{load<float>(b.data())}); break;
      case ColumnType::Double: values[i] = FieldValue(load<double>(b.data())); break;
      case ColumnType::DateTime: values[i] = FieldValue(DateTime{load<double>(b.data())}); break;
      case ColumnType::Guid: {
        Guid g;
        std::memcpy(g.bytes.data(), b.data(), std::min<size_t>(16, b.size()));
        values[i] = FieldValue(g);
        break;
      }
      case ColumnType::Numeric: {
        if (b.size() < 17) broken(pages, "a decimal value is truncated");
        UInt128 magnitude = 0;
        for (int word = 0; word < 4; ++word)
          magnitude = magnitude << 32 | bytes::get32(b.data() + 1 + 4 * word);
        Int128 v = static_cast<Int128>(magnitude);
        values[i] = FieldValue(Decimal{(b[0] & 0x80) ? -v : v, c.scale});
        break;
      }
      case ColumnType::Text: values[i] = FieldValue(decode_text(b)); break;
      case ColumnType::Memo: {
        auto data = long_value(pages, b);
        values[i] = FieldValue(decode_text(data));
        break;
      }
      case ColumnType::Ole: values[i] = FieldValue(long_value(pages, b)); break;
      case ColumnType::Binary: values[i] = FieldValue(Binary(b.begin(), b.end())); break;
      case ColumnType::Boolean: break;
    }
  }
  return values;
}

}  // namespace halvaro::jet
