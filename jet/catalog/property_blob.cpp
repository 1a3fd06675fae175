#include "jet/catalog/property_blob.h"

#include <cstring>

#include "jet/base/bytes.h"
#include "jet/tables/row_decoder.h"
#include "jet/tables/table_definition.h"
#include "jet/base/text_codec.h"

namespace halvaro::jet {
namespace {

constexpr uint16_t kNameBlock = 0x0080;

class BlobReader {
 public:
  BlobReader(const FormatLayout& layout, uint16_t code_page) : layout_(layout), code_page_(code_page) {}

  std::string text(std::span<const uint8_t> bytes) const {
    return layout_.unicode_text ? decode_jet4_text(bytes) : decode_code_page(bytes, code_page_);
  }

  // A name: 16-bit byte length, then the text.
  std::string name(const ByteView& view, size_t& pos) const {
    const uint16_t length = view.u16(pos);
    const auto bytes = view.bytes(pos + 2, length);
    pos += 2u + length;
    return text(bytes);
  }

  FieldValue value(uint8_t type, const ByteView& data) const {
    const auto column_type = static_cast<ColumnType>(type);
    if (auto number = decode_number(column_type, data.span(), 0)) return std::move(*number);
    switch (column_type) {
      case ColumnType::Boolean: return FieldValue(data.size() > 0 && data.u8(0) != 0);
      case ColumnType::Text:
      case ColumnType::Memo: return FieldValue(text(data.span()));
      default: return FieldValue(Binary(data.span().begin(), data.span().end()));
    }
  }

 private:
  const FormatLayout& layout_;
  uint16_t code_page_;
};

}  // namespace

const Property* PropertyMap::find(std::string_view wanted) const {
  for (const Property& property : properties)
    if (names_equal(property.name, wanted)) return &property;
  return nullptr;
}

const PropertyMap* find_property_map(const std::vector<PropertyMap>& maps, std::string_view object) {
  for (const PropertyMap& map : maps)
    if (names_equal(map.object, object)) return &map;
  return nullptr;
}

std::vector<PropertyMap> parse_property_blob(std::span<const uint8_t> blob, const FormatLayout& layout,
                                             uint16_t code_page) {
  std::vector<PropertyMap> maps;
  if (blob.empty()) return maps;
  const ByteView view(blob, "property blob");
  const auto signature = view.bytes(0, 4);
  if (std::memcmp(signature.data(), "MR2", 4) != 0 && std::memcmp(signature.data(), "KKD", 4) != 0)
    throw CorruptData("property blob has an unknown signature");

  const BlobReader reader(layout, code_page);
  std::vector<std::string> names;
  size_t pos = 4;
  while (pos < view.size()) {
    const uint32_t block_length = view.u32(pos);
    const uint16_t block_type = view.u16(pos + 4);
    if (block_length < 6) throw CorruptData("property block of length " + std::to_string(block_length));
    const ByteView block = view.sub(pos + 6, block_length - 6);
    pos += block_length;

    size_t at = 0;
    if (block_type == kNameBlock) {
      while (at < block.size()) names.push_back(reader.name(block, at));
      continue;
    }
    PropertyMap map;
    map.block_type = block_type;
    if (block.size() > 0) {
      const uint32_t header_length = block.u32(0);
      if (header_length < 4) throw CorruptData("property map header too short");
      if (header_length > 6) {
        size_t name_at = 4;
        map.object = reader.name(block, name_at);
      }
      at = header_length;
    }
    while (at < block.size()) {
      const uint16_t value_length = block.u16(at);
      if (value_length < 8) throw CorruptData("property value entry too short");
      const ByteView entry = block.sub(at, value_length);
      at += value_length;
      Property property;
      property.ddl = entry.u8(2) != 0;
      property.data_type = entry.u8(3);
      const uint16_t name_index = entry.u16(4);
      if (name_index >= names.size())
        throw CorruptData("property refers to name " + std::to_string(name_index) + " of " +
                          std::to_string(names.size()));
      property.name = names[name_index];
      property.value = reader.value(property.data_type, entry.sub(8, entry.u16(6)));
      map.properties.push_back(std::move(property));
    }
    maps.push_back(std::move(map));
  }
  return maps;
}

}  // namespace halvaro::jet
