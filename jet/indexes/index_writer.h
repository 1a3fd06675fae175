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
  // For an index whose inserts need no answer at once (one that takes duplicates):
  // keeps the entry until insert_pending() puts it in with the others in key order.
  // Rows whose keys rise at thousands of places of a large index would otherwise keep
  // a leaf decoded at each place (some 6.5 KiB each for 4 KiB pages); in key order a
  // batch reads, changes and encodes each leaf once, and leaves it in its page.
  void add_pending(const KeyBytes& key, uint32_t row_pointer);
  size_t pending_count() const { return pending_ends_.size(); }
  // Inserts the pending entries in key order, encoding each changed leaf into its page
  // once the batch has gone past it. Returns how many were new distinct keys.
  uint64_t insert_pending();
  // The pages the pending entries may take when inserted: a split leaves a tenth of
  // a page at least (but for a key that goes on a page of its own, see split), and a
  // few more for new levels.
  size_t pages_pending_may_take() const;
  // Pending entries stay pending: insert_pending() comes first.
  void flush();
  // Lets go of the leaves held decoded that no insert has changed since they were
  // last encoded (after a flush, every leaf); upper levels are kept. They read back
  // as they are, decoded again when next needed.
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
  // Where a full page is cut: after all but its new entry, after the new entry of a
  // run (within bounds), or in half by bytes.
  enum class Split { KeepAllButNew, AfterRun, Half };
  void split(std::vector<std::pair<uint32_t, size_t>>& path, size_t level, Split how);
  // How a leaf overfilled by the entry just put into it is split.
  static Split split_for(const IndexNode& leaf, bool appended);
  // Where an entry that would start `leaf` goes: the end of the leaf before it, or `leaf`.
  IndexNode& take_into_previous(std::vector<std::pair<uint32_t, size_t>>& path, uint32_t& page, IndexNode& leaf,
                                size_t& at);
  // Makes the new entry (entry_) the greatest of the parent's child before `child`,
  // when the parent still fits its page with the longer entry.
  bool end_previous_child(IndexNode& parent, size_t child);
  // The first entry of a leaf not held, when known.
  const EntryBytes* known_first(uint32_t page) const;
  // Called after every change to a node.
  void mark(IndexNode& n) {
    if (!n.dirty) (n.leaf ? dirty_leaves_ : dirty_upper_).push_back(n.page);
    n.dirty = true;
    count(n);
  }
  size_t dirty_count() const { return dirty_leaves_.size() + dirty_upper_.size(); }
  void count(IndexNode& n);
  void count_pending();
  // Encodes the changed leaves other than `keep` into their pages and lets go of them.
  void settle_leaves(uint32_t keep);
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
  // The changed pages, leaves apart from upper levels: a batch settles leaves at each
  // leaf it leaves behind, and walking the upper levels changed by then every time
  // grew with the square of a large index.
  std::vector<uint32_t> dirty_leaves_;
  std::vector<uint32_t> dirty_upper_;
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
  // The runs of the leaves let go of (IndexNode::run), so that where a page splits
  // never depends on when the writer committed: one entry a leaf written to.
  std::unordered_map<uint32_t, IndexNode::Run> runs_;
  // The first entries of leaves let go of: a run of keys that ends the leaf before
  // one need not read it again for each key (cleared past a limit).
  std::unordered_map<uint32_t, EntryBytes> first_entries_;
  static constexpr size_t kFirstEntriesKept = 1 << 15;
  EntryBytes separator_;  // scratch for end_previous_child
  // Entries waiting for insert_pending, back to back, and where each ends.
  std::vector<uint8_t> pending_bytes_;
  std::vector<uint32_t> pending_ends_;
  size_t pending_counted_ = 0;
};

}  // namespace halvaro::jet
