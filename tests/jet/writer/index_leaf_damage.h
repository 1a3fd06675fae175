#pragma once
// Damage made at test time to one leaf of an index, through the page codec, so that the
// page stays well formed and only its entries are wrong.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "jet/catalog/database.h"
#include "jet/indexes/index_page.h"

namespace halvaro::jet {

// Rewrites the first leaf of a table's index after `damage` changed it.
inline void damage_first_leaf(const std::filesystem::path& file, const std::string& table,
                              const std::function<void(IndexNode&)>& damage) {
  uint32_t owner = 0, leaf = 0;
  {
    auto db = Database::open(file);
    const TableDef& t = db->table(table);
    owner = t.definition_page;
    IndexNode root = index_page::decode(db->pages().page(t.real_indexes.at(0).root_page).data(), 0);
    ASSERT_FALSE(root.leaf) << "the index should have more than one leaf";
    leaf = index_page::child_of(root.entries[0]);
  }
  std::vector<uint8_t> page(4096);
  std::fstream patch(file, std::ios::in | std::ios::out | std::ios::binary);
  patch.seekg(static_cast<std::streamoff>(leaf) * 4096);
  patch.read(reinterpret_cast<char*>(page.data()), 4096);
  IndexNode node = index_page::decode(page.data(), leaf);
  damage(node);
  index_page::encode(node, owner, page.data(), page.size());
  patch.seekp(static_cast<std::streamoff>(leaf) * 4096);
  patch.write(reinterpret_cast<const char*>(page.data()), 4096);
}

}  // namespace halvaro::jet
