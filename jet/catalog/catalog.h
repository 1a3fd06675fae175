#pragma once
// The system catalog, MSysObjects: one row per table, query, relationship and
// container. Its definition always starts on page 2.

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/format.h"
#include "jet/pages/page_source.h"

namespace halvaro::jet {

inline constexpr uint32_t kCatalogPage = 2;

enum class ObjectType : int16_t {
  Table = 1,
  Query = 5,
  LinkedOdbcTable = 4,
  LinkedTable = 6,
};

inline constexpr uint32_t kSystemObjectFlags = 0x80000002;

struct CatalogEntry {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int16_t type = 0;
  uint32_t flags = 0;
  std::vector<uint8_t> properties;  // LvProp blob

  bool is(ObjectType t) const { return (type & 0x7F) == static_cast<int16_t>(t); }
  bool is_system() const { return (flags & kSystemObjectFlags) != 0; }
  // For tables: the first page of the table definition.
  uint32_t definition_page() const { return static_cast<uint32_t>(id) & 0x00FFFFFF; }
};

// Every catalog row, in storage order.
std::vector<CatalogEntry> read_catalog(const PageSource& pages, const FormatLayout& layout,
                                       uint16_t code_page);

}  // namespace halvaro::jet
