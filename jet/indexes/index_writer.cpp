#include "jet/indexes/index_writer.h"

#include <algorithm>
#include <cstring>

#include "jet/base/errors.h"
#include "jet/pages/page_store.h"

namespace halvaro::jet {

using index_page::compare;
using index_page::key_length;
using index_page::ordered_length;

namespace {

void make_entry(EntryBytes& e, const KeyBytes& key, uint32_t row_pointer) {
  e.assign(key.begin(), key.end());
  const uint32_t page = row_pointer >> 8;
  e.push_back(static_cast<uint8_t>(page >> 16));
  e.push_back(static_cast<uint8_t>(page >> 8));
  e.push_back(static_cast<uint8_t>(page));
  e.push_back(static_cast<uint8_t>(row_pointer));
}

EntryBytes make_entry(const KeyBytes& key, uint32_t row_pointer) {
  EntryBytes e;
  make_entry(e, key, row_pointer);
  return e;
}

// Whether an entry holds exactly this key.
bool has_key(Entry e, bool leaf, const KeyBytes& key) {
  return key_length(e, leaf) == key.size() && std::equal(key.begin(), key.end(), e.begin());
}

// Position of the first entry not less than (key, row).
size_t lower_bound(const IndexNode& n, std::span<const uint8_t> key, uint32_t row) {
  size_t low = 0, high = n.entries.size();
  while (low < high) {
    size_t mid = (low + high) / 2;
    const Entry e = n.entries[mid];
    // Keys first: the row address is only read to break a tie.
    const Entry stored = e.first(key_length(e, n.leaf));
    const size_t common = std::min(stored.size(), key.size());
    int c = common ? std::memcmp(stored.data(), key.data(), common) : 0;
    if (c == 0 && stored.size() != key.size()) c = stored.size() < key.size() ? -1 : 1;
    if (c == 0) c = compare(stored, index_page::row_pointer_of(e, n.leaf), key, row);
    if (c < 0)
      low = mid + 1;
    else
      high = mid;
  }
  return low;
}

EntryBytes separator(Entry greatest, bool from_leaf, uint32_t child) {
  EntryBytes e(greatest.begin(), greatest.begin() + static_cast<long>(ordered_length(greatest, from_leaf)));
  for (int shift = 24; shift >= 0; shift -= 8) e.push_back(static_cast<uint8_t>(child >> shift));
  return e;
}

}  // namespace

IndexWriter::IndexWriter(PageStore& pages, uint32_t owner, uint32_t root, std::function<uint32_t()> allocate)
    : pages_(pages), owner_(owner), root_(root), allocate_(std::move(allocate)) {}

IndexNode& IndexWriter::node(uint32_t page) {
  if (auto it = nodes_.find(page); it != nodes_.end()) return *it->second;
  if (page == 0 || page >= pages_.page_count())
    throw JetError(pages_.path().string() + ": an index refers to page " + std::to_string(page) +
                   ", which does not exist");
  try {
    ++pages_decoded_;
    IndexNode& n = keep(std::make_unique<IndexNode>(index_page::decode(pages_.read(page), page)));
    // The decoded page is the one copy worth holding until it is encoded back.
    pages_.forget(page);
    return n;
  } catch (const std::runtime_error& e) {
    throw JetError(pages_.path().string() + ": " + e.what());
  }
}

IndexNode& IndexWriter::keep(std::unique_ptr<IndexNode> n) {
  const uint32_t page = n->page;
  auto& slot = nodes_[page];
  slot = std::move(n);
  count(*slot);
  return *slot;
}

namespace {
// The entries, the node and its place in the map.
size_t footprint(const IndexNode& n) { return n.entries.footprint() + sizeof(IndexNode) + 64; }
}  // namespace

void IndexWriter::count(IndexNode& n) {
  const size_t now = footprint(n);
  bytes_held_ = bytes_held_ - n.counted + now;
  n.counted = now;
}

size_t IndexWriter::bytes_held_recounted() const {
  size_t bytes = 0;
  for (const auto& [page, n] : nodes_) bytes += footprint(*n);
  return bytes;
}

void IndexWriter::drop(std::unordered_map<uint32_t, std::unique_ptr<IndexNode>>::iterator at) {
  bytes_held_ -= at->second->counted;
  nodes_.erase(at);
}

IndexNode& IndexWriter::new_node(bool leaf) {
  auto n = std::make_unique<IndexNode>();
  n->page = allocate_();
  n->leaf = leaf;
  IndexNode& ref = keep(std::move(n));
  mark(ref);
  return ref;
}

bool IndexWriter::contains_key(const KeyBytes& key) {
  // Descend towards the first entry with this key (row address 0 sorts first). The
  // way down is kept for the insert that usually follows: without an entry of equal
  // key on it, the row address cannot change where the new entry goes.
  auto same_key = [&](const IndexNode& n, size_t at) {
    return at < n.entries.size() && has_key(n.entries[at], n.leaf, key);
  };
  last_descent_.key = key;
  last_descent_.steps.clear();
  last_descent_valid_ = false;
  uint32_t page = root_;
  bool tie = false;
  for (int depth = 0;; ++depth) {
    if (depth > 64) throw JetError(pages_.path().string() + ": an index has a cycle");
    IndexNode& n = node(page);
    size_t at = lower_bound(n, key, 0);
    last_descent_.steps.push_back({page, &n, at});
    tie = tie || same_key(n, at);
    if (n.leaf) {
      last_descent_valid_ = !tie;
      // The match may be the first entry of the following leaf.
      IndexNode* leaf = &n;
      for (int hop = 0; at == leaf->entries.size() && leaf->next != 0 && hop < 2; ++hop) {
        leaf = &node(leaf->next);
        at = 0;
      }
      return same_key(*leaf, at);
    }
    if (at < n.entries.size())
      page = index_page::child_of(n.entries[at]);
    else if (n.tail)
      page = n.tail;
    else if (!n.entries.empty())
      page = index_page::child_of(n.entries.back());
    else
      return false;
  }
}

bool IndexWriter::shares_key(const IndexNode& leaf, size_t at, const KeyBytes& key) {
  auto same = [&](Entry e) { return has_key(e, true, key); };
  // Neighbours before and after the new entry, looking into the adjacent leaves at
  // the page's edges.
  if (at > 0) {
    if (same(leaf.entries[at - 1])) return true;
  } else if (leaf.prev) {
    const IndexNode& before = node(leaf.prev);
    if (!before.entries.empty() && same(before.entries.back())) return true;
  }
  if (at + 1 < leaf.entries.size()) return same(leaf.entries[at + 1]);
  if (leaf.next) {
    const IndexNode& after = node(leaf.next);
    return !after.entries.empty() && same(after.entries.front());
  }
  return false;
}

bool IndexWriter::insert(const KeyBytes& key, uint32_t row_pointer) {
  auto& path = path_;  // node page, index of the child taken
  path.clear();
  const bool reuse = last_descent_valid_ && last_descent_.key == key;
  last_descent_valid_ = false;
  const auto& steps = last_descent_.steps;
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 64) throw JetError(pages_.path().string() + ": an index has a cycle");
    const auto level = static_cast<size_t>(depth);
    // Nothing is dropped between the lookup and this insert, so its nodes are still held.
    const bool known = reuse && level < steps.size() && steps[level].page == page;
    IndexNode& n = known ? *steps[level].node : node(page);
    size_t at = known ? steps[level].at : lower_bound(n, key, row_pointer);
    if (n.leaf) {
      const bool appended = at == n.entries.size() && n.next == 0;
      make_entry(entry_, key, row_pointer);  // in a buffer kept from insert to insert
      n.entries.insert(at, entry_);
      mark(n);
      const bool distinct = !shares_key(n, at, key);
      path.emplace_back(page, at);
      if (overfull(n)) split(path, path.size() - 1, appended);
      return distinct;
    }
    path.emplace_back(page, at);
    if (at < n.entries.size()) {
      page = index_page::child_of(n.entries[at]);
    } else if (n.tail) {
      page = n.tail;
    } else if (!n.entries.empty()) {
      // No tail: the last child takes the new greatest entry and its entry grows.
      --path.back().second;
      page = index_page::child_of(n.entries.back());
      n.entries.replace(n.entries.size() - 1, separator(make_entry(key, row_pointer), true, page));
      mark(n);
    } else {
      throw JetError(pages_.path().string() + ": an intermediate index page is empty");
    }
  }
}

void IndexWriter::split(std::vector<std::pair<uint32_t, size_t>>& path, size_t level, bool appended) {
  IndexNode& full = node(path[level].first);
  const bool leaf = full.leaf;
  // Where the lower part ends: all but the new entry when appending in order (the
  // usual case of rising keys keeps pages full), otherwise half by bytes.
  size_t cut = full.entries.size() - 1;
  if (!appended) {
    size_t total = 0;
    const size_t half = full.entries.total_bytes() / 2;
    for (cut = 0; cut + 1 < full.entries.size() && total < half; ++cut) total += full.entries[cut].size();
  }
  if (cut == 0) cut = 1;
  EntryList lower = full.entries.take_front(cut);

  auto fill_lower = [&](IndexNode& target) {
    target.entries = std::move(lower);
    count(target);
    const Entry last = target.entries.back();
    if (leaf) return separator(last, true, target.page);
    // The last child of the lower part becomes its tail.
    target.tail = index_page::child_of(last);
    EntryBytes entry = separator(last, false, target.page);
    target.entries.pop_back();
    return entry;
  };

  if (full.page == root_) {
    // The root keeps its page: both halves move to new pages under it.
    IndexNode& left = new_node(leaf);
    IndexNode& right = new_node(leaf);
    IndexNode& root = node(root_);
    EntryBytes entry = fill_lower(left);
    right.entries = std::move(root.entries);
    count(right);
    right.tail = root.tail;
    left.next = right.page;
    right.prev = left.page;
    root.leaf = false;
    root.entries.clear();
    root.entries.push_back(entry);
    root.tail = right.page;
    root.prev = root.next = 0;
    mark(root);
    return;
  }

  IndexNode& lower_node = new_node(leaf);
  IndexNode& upper = node(path[level].first);
  EntryBytes entry = fill_lower(lower_node);
  lower_node.prev = upper.prev;
  lower_node.next = upper.page;
  if (upper.prev) {
    IndexNode& before = node(upper.prev);
    before.next = lower_node.page;
    mark(before);
  }
  upper.prev = lower_node.page;
  mark(upper);

  IndexNode& parent = node(path[level - 1].first);
  const size_t at = path[level - 1].second;  // the old page's entry, or the tail's place
  parent.entries.insert(std::min(at, parent.entries.size()), entry);
  mark(parent);
  if (overfull(parent))
    split(path, level - 1, appended && at >= parent.entries.size() - 1 && parent.next == 0);
}

bool IndexWriter::overfull(const IndexNode& n) {
  return n.entries.total_bytes() > index_page::kCapacity &&
         index_page::packed_size(n.entries, n.leaf) > index_page::kCapacity;
}

void IndexWriter::flush() {
  last_descent_valid_ = false;
  for (uint32_t page : dirty_) {
    auto found = nodes_.find(page);
    IndexNode& n = *found->second;
    index_page::encode(n, owner_, pages_.overwrite(page), pages_.page_size());
    n.dirty = false;
    // A leaf now lives in its page until the next commit; held decoded as well, a
    // commit would need twice the memory of what it writes.
    if (n.leaf) drop(found);
  }
  dirty_.clear();
}

void IndexWriter::forget() {
  last_descent_valid_ = false;
  // Every insert passes through the upper levels, and they are a small part of the
  // index: they stay decoded, so that after a commit an insert reads one leaf again,
  // not its whole way down.
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    auto next = std::next(it);
    if (it->second->leaf) drop(it);
    it = next;
  }
  dirty_.clear();
}

void IndexWriter::for_each(const std::function<void(Entry)>& visit) {
  uint32_t page = root_;
  for (int depth = 0; depth < 64; ++depth) {
    IndexNode& n = node(page);
    if (n.leaf) break;
    page = !n.entries.empty() ? index_page::child_of(n.entries.front()) : n.tail;
  }
  for (size_t hops = 0; page != 0; ++hops) {
    if (hops > pages_.page_count()) throw JetError(pages_.path().string() + ": index leaves form a cycle");
    IndexNode& n = node(page);
    for (size_t i = 0; i < n.entries.size(); ++i) visit(n.entries[i]);
    page = n.next;
  }
}

}  // namespace halvaro::jet
