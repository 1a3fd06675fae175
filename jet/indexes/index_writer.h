#pragma once
// Inserts entries into one real index's B-tree. A page is decoded when first needed
// and then held only decoded (the page store lets go of its bytes); flush() encodes
// changed pages back into the store before a commit, and lets go of changed leaves.
// A full page splits: a new page takes its lower part and the old page keeps the
// upper part, so the parent's reference to the old page stays right and only the
// new page needs an entry in the parent; a full root moves its entries down into two
// new pages so that the root keeps its page number.

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/indexes/index_key.h"
#include "jet/indexes/index_page.h"

namespace halvaro::jet {

class PageStore;

class IndexWriter {
 public:
  // `allocate` returns a fresh page already recorded in the index's usage map.
  IndexWriter(PageStore& pages, uint32_t owner, uint32_t root, std::function<uint32_t()> allocate);

  // Whether an entry with exactly this key exists (for unique indexes).
  bool contains_key(const KeyBytes& key);
  // Returns whether no other entry has this key (a new distinct key).
  bool insert(const KeyBytes& key, uint32_t row_pointer);
  void flush();
  // Drops the decoded leaf pages after a flush and commit (upper levels are kept, as
  // the file holds them now); they are decoded again when next needed.
  void forget();
  // Bytes the pages held decoded take now (they count towards the writer's memory).
  size_t bytes_held() const { return bytes_held_; }
  // For checking: the same, worked out afresh from every page held.
  size_t bytes_held_recounted() const;
  // For measurements: pages decoded so far.
  uint64_t pages_decoded() const { return pages_decoded_; }

  // Every entry in order, leaf by leaf (for checking).
  void for_each(const std::function<void(Entry)>& visit);

 private:
  IndexNode& node(uint32_t page);
  IndexNode& new_node(bool leaf);
  IndexNode& keep(std::unique_ptr<IndexNode> n);
  void split(std::vector<std::pair<uint32_t, size_t>>& path, size_t level, bool appended);
  // Called after every change to a node.
  void mark(IndexNode& n) {
    if (!n.dirty) dirty_.push_back(n.page);
    n.dirty = true;
    count(n);
  }
  void count(IndexNode& n);
  void drop(std::unordered_map<uint32_t, std::unique_ptr<IndexNode>>::iterator at);
  // Whether the entries may not fit their page: the exact (prefix-compressed) size
  // is only worked out when the plain sum of entry sizes exceeds a page.
  static bool overfull(const IndexNode& n);
  bool shares_key(const IndexNode& leaf, size_t at, const KeyBytes& key);

  PageStore& pages_;
  uint32_t owner_;
  uint32_t root_;
  std::function<uint32_t()> allocate_;
  // Decoded pages by page number: a map, as a table indexed by page number would grow
  // with the file (for each index) and be walked whole at every commit.
  std::unordered_map<uint32_t, std::unique_ptr<IndexNode>> nodes_;
  std::vector<uint32_t> dirty_;
  // The way contains_key went down (page, its decoded node and the entry position per
  // level), reused by an insert of the same key when nothing changed in between.
  struct Step {
    uint32_t page;
    IndexNode* node;
    size_t at;
  };
  struct Descent {
    KeyBytes key;
    std::vector<Step> steps;
  } last_descent_;
  bool last_descent_valid_ = false;
  // Scratch for insert.
  std::vector<std::pair<uint32_t, size_t>> path_;
  EntryBytes entry_;
  uint64_t pages_decoded_ = 0;
  size_t bytes_held_ = 0;
};

}  // namespace halvaro::jet
