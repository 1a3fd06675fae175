#include "jet/catalog/catalog.h"

#include <string>

#include "jet/base/errors.h"
#include "jet/tables/row_decoder.h"
#include "jet/tables/table_definition.h"
#include "jet/tables/table_scan.h"

namespace halvaro::jet {
namespace {

const Column& required_column(const TableDef& table, std::string_view name) {
  const Column* column = table.find_column(name);
  if (column == nullptr)
    throw CorruptData("the catalog (MSysObjects) has no " + std::string(name) + " column");
  return *column;
}

template <class T>
T whole(const FieldValue& value) {
  return value.is<int64_t>() ? static_cast<T>(value.as<int64_t>()) : T{};
}

}  // namespace

std::vector<CatalogEntry> read_catalog(const PageSource& pages, const FormatLayout& layout,
                                       uint16_t code_page) {
  TableDef table = read_table_definition(pages, kCatalogPage, layout, code_page);
  table.name = "MSysObjects";
  const uint16_t id = required_column(table, "Id").position;
  const uint16_t parent = required_column(table, "ParentId").position;
  const uint16_t name = required_column(table, "Name").position;
  const uint16_t type = required_column(table, "Type").position;
  const uint16_t flags = required_column(table, "Flags").position;
  const Column* properties = table.find_column("LvProp");

  RowDecoder decoder(table, pages, code_page);
  std::vector<FieldValue> values;
  std::vector<CatalogEntry> entries;
  for_each_row(pages, table, [&](std::span<const uint8_t> row, RowLocation) {
    decoder.decode(row, values);
    CatalogEntry entry;
    entry.id = whole<int32_t>(values[id]);
    entry.parent_id = whole<int32_t>(values[parent]);
    if (values[name].is<std::string>()) entry.name = values[name].as<std::string>();
    entry.type = whole<int16_t>(values[type]);
    entry.flags = whole<uint32_t>(values[flags]);
    if (properties != nullptr && values[properties->position].is<Binary>())
      entry.properties = values[properties->position].as<Binary>();
    entries.push_back(std::move(entry));
    return true;
  });
  return entries;
}

}  // namespace halvaro::jet
