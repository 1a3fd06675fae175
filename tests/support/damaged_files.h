#pragma once
// Damage made at test time to a sound Jet 4 file, each kind in one place of one table,
// as a disk fault or another program's bad write would leave it. "Garbled" bytes are
// every seventh byte of the span flipped.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "jet/catalog/database.h"
#include "jet/indexes/index_page.h"
#include "jet/pages/data_page.h"
#include "jet/tables/table_scan.h"

namespace halvaro::test {

enum class Damage {
  DataPage,   // the table's first data page, past its header
  IndexLeaf,  // the entries of the first index's root page, a leaf in a small table
  UsageMap,   // the row that holds the table's owned-pages map
  RowCount,   // the definition records one row more than its pages hold
};

inline const char* damage_name(Damage damage) {
  switch (damage) {
    case Damage::DataPage: return "a garbled data page";
    case Damage::IndexLeaf: return "a garbled index leaf";
    case Damage::UsageMap: return "a garbled usage map";
    case Damage::RowCount: return "a row count that disagrees with the pages";
  }
  return "";
}

inline void garble(const std::filesystem::path& file, uint64_t from, uint64_t to) {
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  for (uint64_t at = from; at < to; at += 7) {
    f.seekg(static_cast<std::streamoff>(at));
    const int byte = f.get();
    f.seekp(static_cast<std::streamoff>(at));
    f.put(static_cast<char>(byte ^ 0xFF));
  }
  if (!f) throw std::runtime_error("cannot damage " + file.string());
}

// Damages `table` of `file` in place.
inline void damage(const std::filesystem::path& file, std::string_view table, Damage kind) {
  uint64_t from = 0, to = 0;
  uint32_t row_count_at = 0, row_count = 0;
  {
    auto db = jet::Database::open(file);
    const jet::TableDef& def = db->table(table);
    const jet::FormatLayout& layout = jet::layout_of(db->format());
    const uint64_t page_size = layout.page_size;
    switch (kind) {
      case Damage::DataPage: {
        const auto pages = jet::table_data_pages(db->pages(), def);
        if (pages.empty()) throw std::runtime_error(std::string(table) + " has no data page");
        from = pages.front() * page_size + layout.data_row_table;
        to = (pages.front() + 1) * page_size;
        break;
      }
      case Damage::IndexLeaf: {
        if (def.real_indexes.empty()) throw std::runtime_error(std::string(table) + " has no index");
        const uint32_t root = def.real_indexes.front().root_page;
        if (db->pages().page(root)[0] != 0x04) throw std::runtime_error("the index root is no leaf");
        from = root * page_size + jet::index_page::kEntryStart;
        to = from + 64;
        break;
      }
      case Damage::UsageMap: {
        const auto at = jet::RowLocation::unpack(def.owned_pages);
        const jet::RowSlot slot = jet::row_slot(jet::ByteView(db->pages().page(at.page)), at.row, layout);
        from = at.page * page_size + slot.start;
        to = at.page * page_size + slot.end;
        break;
      }
      case Damage::RowCount:
        row_count_at = def.definition_page * layout.page_size + layout.tdef_row_count;
        row_count = def.row_count + 1;
        break;
    }
  }
  if (kind != Damage::RowCount) return garble(file, from, to);
  std::fstream f(file, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(row_count_at);
  for (int i = 0; i < 4; ++i) f.put(static_cast<char>(row_count >> (8 * i)));
  if (!f) throw std::runtime_error("cannot damage " + file.string());
}

}  // namespace halvaro::test
