#pragma once
// The properties Access keeps for an object and its columns (DefaultValue,
// Required, Description, ...), stored as a blob in MSysObjects.LvProp: a
// signature, a block of property names, then one block of values per object.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "jet/base/field_value.h"
#include "jet/base/format.h"

namespace halvaro::jet {

struct Property {
  std::string name;
  uint8_t data_type = 0;  // a ColumnType code
  bool ddl = false;
  FieldValue value;
};

struct PropertyMap {
  std::string object;  // "" for the object itself, else a column (or index) name
  uint16_t block_type = 0;
  std::vector<Property> properties;
  const Property* find(std::string_view name) const;  // case-blind
};

// Throws CorruptData when the blob is damaged. An empty blob has no maps.
std::vector<PropertyMap> parse_property_blob(std::span<const uint8_t> blob, const FormatLayout& layout,
                                             uint16_t code_page);

// The map of one column (case-blind), if any.
const PropertyMap* find_property_map(const std::vector<PropertyMap>& maps, std::string_view object);

}  // namespace halvaro::jet
