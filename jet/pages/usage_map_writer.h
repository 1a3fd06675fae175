#pragma once
// Page-usage maps as Jet 4 keeps them in a row of a data page: either inline
// (type 0: a start page, then one bit per page) or by reference (type 1: numbers of
// bitmap pages of type 0x05, each covering 32,736 pages). Adding a page outside an
// inline map's reach moves its start when every page still fits, and otherwise turns
// the map into a reference map in place.

#include <cstdint>
#include <functional>
#include <vector>

namespace halvaro::jet {

class PageStore;

class UsageMapWriter {
 public:
  // `allocate` supplies a fresh page when a reference map needs a bitmap page.
  UsageMapWriter(PageStore& pages, uint32_t row_pointer, std::function<uint32_t()> allocate);

  bool contains(uint32_t page) const;
  void add(uint32_t page);
  void remove(uint32_t page);
  // Clears the bit when the page is within the map's reach (the global map of free
  // pages treats pages beyond it as free; nothing to record there).
  void remove_if_covered(uint32_t page);
  std::vector<uint32_t> pages() const;  // every page set, ascending

  static constexpr uint32_t kPagesPerBitmapPage = (4096 - 4) * 8;

 private:
  struct Row {
    uint8_t* bytes;
    size_t size;
  };
  Row row() const;
  void set(uint32_t page, bool on, bool must_fit);
  void rewrite_inline(uint32_t start, const std::vector<uint32_t>& pages);
  void promote(const std::vector<uint32_t>& pages);

  PageStore& pages_;
  uint32_t pointer_;
  std::function<uint32_t()> allocate_;
};

}  // namespace halvaro::jet
