#include "jet/table_layout.h"

#include "jet/page_store.h"
#include "jet/utf16_text.h"

namespace halvaro::jet {

namespace {

constexpr size_t kHeader = 63;
constexpr size_t kRealIndexStats = 12;
constexpr size_t kColumnEntry = 25;
constexpr size_t kRealIndexEntry = 52;
constexpr size_t kLogicalIndexEntry = 28;

// A definition that spans pages, joined into one buffer (continuation pages add
// their bytes after their 8-byte header).
std::vector<uint8_t> read_definition(const PageStore& pages, uint32_t first) {
  const uint32_t size = pages.page_size();
  std::vector<uint8_t> out;
  uint32_t page = first;
  for (int hops = 0; page != 0; ++hops) {
    if (hops > 1000) throw JetError(pages.path().string() + ": table definition pages form a cycle");
    const uint8_t* p = pages.read(page);
    if (p[0] != 0x02)
      throw JetError(pages.path().string() + ": page " + std::to_string(page) +
                     " is not a table definition");
    if (out.empty())
      out.insert(out.end(), p, p + size);
    else
      out.insert(out.end(), p + 8, p + size);
    page = bytes::get32(p + 4);
  }
  return out;
}

class Cursor {
 public:
  Cursor(const std::vector<uint8_t>& data, const std::string& where) : data_(data), where_(where) {}
  const uint8_t* take(size_t n) {
    if (pos_ + n > data_.size()) throw JetError(where_ + ": table definition is truncated");
    const uint8_t* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }
  size_t pos() const { return pos_; }

 private:
  const std::vector<uint8_t>& data_;
  std::string where_;
  size_t pos_ = 0;
};

std::string read_name(Cursor& in) {
  uint16_t length = bytes::get16(in.take(2));
  return utf8_from_ucs2(in.take(length), length);
}

}  // namespace

const ColumnLayout* TableLayout::column_by_number(uint16_t number) const {
  for (const auto& c : columns)
    if (c.number == number) return &c;
  return nullptr;
}

TableLayout TableLayout::read(const PageStore& pages, uint32_t definition_page) {
  const std::vector<uint8_t> data = read_definition(pages, definition_page);
  const std::string where = pages.path().string() + " (table definition page " +
                            std::to_string(definition_page) + ")";
  TableLayout t;
  t.definition_page = definition_page;
  const uint8_t* h = data.data();
  t.row_count = bytes::get32(h + tdef::kRowCount);
  t.last_autonumber = bytes::get32(h + tdef::kAutonumber);
  t.max_columns = bytes::get16(h + 41);
  t.variable_columns = bytes::get16(h + 43);
  const uint16_t column_count = bytes::get16(h + 45);
  const uint32_t logical_count = bytes::get32(h + 47);
  const uint32_t real_count = bytes::get32(h + 51);
  t.owned_pages_map = bytes::get32(h + 55);
  t.free_space_map = bytes::get32(h + 59);
  if (real_count > 64 || logical_count > 64) throw JetError(where + ": implausible index count");

  Cursor in(data, where);
  in.take(kHeader);
  in.take(kRealIndexStats * real_count);
  for (uint16_t i = 0; i < column_count; ++i) {
    const uint8_t* c = in.take(kColumnEntry);
    ColumnLayout col;
    col.type = static_cast<ColumnType>(c[0]);
    col.number = bytes::get16(c + 5);
    col.variable_index = bytes::get16(c + 7);
    col.precision = c[11];
    col.scale = c[12];
    col.sort_order = bytes::get16(c + 11);
    col.fixed = c[15] & 0x01;
    col.autonumber = (c[15] & 0x04) != 0;
    col.guid_autonumber = (c[15] & 0x40) != 0;
    col.compressed_unicode = (c[16] & 0x01) != 0;
    col.fixed_offset = bytes::get16(c + 21);
    col.size = bytes::get16(c + 23);
    t.columns.push_back(col);
  }
  for (auto& col : t.columns) col.name = read_name(in);
  for (uint32_t i = 0; i < real_count; ++i) {
    const uint8_t* r = in.take(kRealIndexEntry);
    RealIndexLayout idx;
    idx.number = static_cast<int>(i);
    for (int k = 0; k < 10; ++k) {
      uint16_t number = bytes::get16(r + 4 + 3 * k);
      if (number == 0xFFFF) continue;
      idx.columns.push_back({number, (r[4 + 3 * k + 2] & 0x01) != 0});
    }
    idx.usage_map = bytes::get32(r + 34);
    idx.root_page = bytes::get32(r + 38);
    idx.flags = r[46];
    idx.entry_count_offset = static_cast<uint32_t>(kHeader + kRealIndexStats * i + 4);
    t.real_indexes.push_back(idx);
  }
  for (uint32_t i = 0; i < logical_count; ++i) {
    const uint8_t* l = in.take(kLogicalIndexEntry);
    LogicalIndexLayout idx;
    idx.real_index = static_cast<int>(bytes::get32(l + 8));
    idx.primary = l[23] == 0x01;
    idx.foreign = l[23] == 0x02;
    if (idx.real_index < 0 || idx.real_index >= static_cast<int>(real_count))
      throw JetError(where + ": an index refers to a missing index definition");
    t.logical_indexes.push_back(idx);
  }
  for (auto& idx : t.logical_indexes) idx.name = read_name(in);
  return t;
}

}  // namespace halvaro::jet
