#include "jet/indexes/index_writer.h"

#include <algorithm>
#include <cstring>

#include "jet/base/errors.h"
#include "jet/indexes/entry_order.h"
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

// Whether (key, row) sorts before a leaf entry.
bool sorts_before(std::span<const uint8_t> key, uint32_t row, Entry e) {
  const Entry stored = e.first(key_length(e, true));
  return compare(stored, index_page::row_pointer_of(e, true), key, row) > 0;
}

// The number of first entries that take at least `share` of the list's bytes.
size_t entries_taking(const EntryList& entries, double share) {
  const auto goal = static_cast<size_t>(static_cast<double>(entries.total_bytes()) * share);
  size_t cut = 0;
  for (size_t total = 0; cut + 1 < entries.size() && total < goal; ++cut) total += entries[cut].size();
  return cut;
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
    if (auto run = runs_.find(page); run != runs_.end()) {
      n.run = run->second;
      runs_.erase(run);
    }
    // The decoded page is the one copy worth holding until it is encoded back.
    pages_.forget(page);
    return n;
  } catch (const std::runtime_error& e) {
    throw JetError(pages_.path().string() + ": " + e.what());
  }
}

IndexNode& IndexWriter::keep(std::unique_ptr<IndexNode> n) {
  const uint32_t page = n->page;
  first_entries_.erase(page);  // a leaf held tells its own: the two never name one page
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
  size_t bytes = pending_bytes_.capacity() + pending_ends_.capacity() * sizeof(uint32_t);
  for (const auto& [page, n] : nodes_) bytes += footprint(*n);
  return bytes;
}

void IndexWriter::drop(std::unordered_map<uint32_t, std::unique_ptr<IndexNode>>::iterator at) {
  const IndexNode& n = *at->second;
  if (n.run.next) runs_[at->first] = n.run;
  if (n.leaf && !n.entries.empty()) {
    // Only a shortcut: past its limit it starts afresh.
    if (first_entries_.size() >= kFirstEntriesKept) first_entries_.clear();
    const Entry first = n.entries.front();
    first_entries_[at->first].assign(first.begin(), first.end());
  }
  bytes_held_ -= at->second->counted;
  nodes_.erase(at);
}

IndexNode& IndexWriter::new_node(bool leaf) {
  auto n = std::make_unique<IndexNode>();
  n->page = allocate_();
  n->leaf = leaf;
  IndexNode& ref = keep(std::move(n));
  mark(ref);
  // Its zero-filled buffer in the store would double what the page takes until the
  // node is encoded into it whole (flush).
  pages_.set_aside(ref.page);
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
    // A leaf let go of whose first entry is known answers without being read again:
    // the key is there only if that entry has it (all before the leaf is less).
    if (const EntryBytes* first = known_first(page); first && sorts_before(key, 0, *first))
      return has_key(*first, true, key);
  }
}

const EntryBytes* IndexWriter::known_first(uint32_t page) const {
  auto found = first_entries_.find(page);
  return found == first_entries_.end() ? nullptr : &found->second;
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
  if (const EntryBytes* first = leaf.next ? known_first(leaf.next) : nullptr) return same(*first);
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
  make_entry(entry_, key, row_pointer);  // in a buffer kept from insert to insert
  uint32_t page = root_;
  for (int depth = 0;; ++depth) {
    if (depth > 64) throw JetError(pages_.path().string() + ": an index has a cycle");
    const auto level = static_cast<size_t>(depth);
    // Nothing is dropped between the lookup and this insert, so its nodes are still held.
    const bool known = reuse && level < steps.size() && steps[level].page == page;
    IndexNode* found = known ? steps[level].node : &node(page);
    size_t at = known ? steps[level].at : lower_bound(*found, key, row_pointer);
    if (found->leaf) {
      if (at == 0) found = &take_into_previous(path, page, *found, at);
      IndexNode& n = *found;
      const bool appended = at == n.entries.size();
      const bool in_run = n.run.next != 0 && at == n.run.next;
      n.entries.insert(at, entry_);
      n.run = {static_cast<uint32_t>(at + 1), in_run ? n.run.length + 1 : 1};
      mark(n);
      const bool distinct = !shares_key(n, at, key);
      path.emplace_back(page, at);
      if (overfull(n)) split(path, path.size() - 1, split_for(n, appended));
      return distinct;
    }
    IndexNode& n = *found;
    path.emplace_back(page, at);
    if (at < n.entries.size() || n.tail) {
      page = at < n.entries.size() ? index_page::child_of(n.entries[at]) : n.tail;
      // A key that would start a leaf let go of (its first entry known) ends the leaf
      // before it instead, as take_into_previous does, without reading it again.
      const EntryBytes* first = at > 0 ? known_first(page) : nullptr;
      if (first && sorts_before(key, row_pointer, *first) && end_previous_child(n, at)) {
        --path.back().second;
        page = index_page::child_of(n.entries[at - 1]);
      }
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

IndexNode& IndexWriter::take_into_previous(std::vector<std::pair<uint32_t, size_t>>& path, uint32_t& page,
                                           IndexNode& leaf, size_t& at) {
  // A key between two leaves goes down to the start of the later one. When keys rise
  // at many places of an index at once (the invoices of many claimants and periods),
  // each place's keys would pile up at the start of a leaf of others' entries. The end
  // of the earlier leaf under the same parent takes them instead, and a place with
  // many keys fills whole pages (see split_for).
  const uint32_t previous = leaf.prev;  // `leaf` may be let go of below
  if (previous == 0 || path.empty()) return leaf;
  auto& [parent_page, child] = path.back();
  if (child == 0) return leaf;
  IndexNode& parent = node(parent_page);
  if (index_page::child_of(parent.entries[child - 1]) != previous) return leaf;
  if (!end_previous_child(parent, child)) return leaf;
  --child;
  // The later leaf was read only to find where the entry goes: unchanged, it is let
  // go of, its first entry kept for the next key of the run.
  if (!leaf.dirty) drop(nodes_.find(leaf.page));
  IndexNode& before = node(previous);
  page = before.page;
  at = before.entries.size();
  return before;
}

bool IndexWriter::end_previous_child(IndexNode& parent, size_t child) {
  // The earlier leaf's entry in its parent stands for its greatest entry: the new one,
  // unless a greater length would no longer let the parent fit its page. (One of the
  // same length in the middle of the page leaves the page's shared prefix, and so its
  // size, as it was.)
  const size_t i = child - 1;
  separator_ = separator(entry_, true, index_page::child_of(parent.entries[i]));
  const bool same_size = parent.entries[i].size() == separator_.size() && i > 0 && i + 1 < parent.entries.size();
  if (same_size) {
    parent.entries.replace(i, separator_);
  } else {
    const EntryBytes old_separator(parent.entries[i].begin(), parent.entries[i].end());
    parent.entries.replace(i, separator_);
    if (overfull(parent)) {
      parent.entries.replace(i, old_separator);
      return false;
    }
  }
  mark(parent);
  return true;
}

IndexWriter::Split IndexWriter::split_for(const IndexNode& leaf, bool appended) {
  // Past the index's last entry, rising keys fill page after page.
  if (appended && leaf.next == 0) return Split::KeepAllButNew;
  // Elsewhere a run of rising keys (a group's keys between others') gets pages of its
  // own once it has taken a quarter of the page: a group with few keys would leave
  // pages of its own mostly empty, and shares them with its neighbours instead.
  return leaf.run.length * 4 >= leaf.entries.size() ? Split::AfterRun : Split::Half;
}

void IndexWriter::split(std::vector<std::pair<uint32_t, size_t>>& path, size_t level, Split how) {
  IndexNode& full = node(path[level].first);
  const bool leaf = full.leaf;
  // Where the lower part ends. Past the index's last entry all but the new entry stay:
  // rising keys fill page after page. A run goes on after its new entry, so the lower
  // part ends with it, but keeps a tenth of the page at least and leaves the upper
  // part one: a run that gets few more keys then shares its page with the next rather
  // than leave it nearly empty. Otherwise the page is halved by bytes.
  const size_t added = path[level].second;  // where the new entry is (in a leaf)
  size_t cut = full.entries.size() - 1;
  if (how == Split::AfterRun)
    cut = std::clamp(added + 1, entries_taking(full.entries, 0.1), entries_taking(full.entries, 0.9));
  else if (how == Split::Half)
    cut = entries_taking(full.entries, 0.5);
  if (cut == 0) cut = 1;
  if (cut >= full.entries.size()) cut = full.entries.size() - 1;
  // Each part must fit its page. An entry at either end of the page can shorten the
  // prefix all its entries share (one put first or last on a leaf of another group's
  // keys may share few of their bytes), and then the part holding it may take several
  // pages' worth: the entry goes on a page of its own, and the others, which fitted
  // before it came, stay together.
  const size_t entries = full.entries.size();
  auto fits = [&](size_t from, size_t to) {
    return index_page::packed_size(full.entries, from, to, leaf) <= index_page::kCapacity;
  };
  if (!fits(0, cut) || !fits(cut, entries)) {
    if (added == 0)
      cut = 1;
    else if (added + 1 >= entries)
      cut = entries - 1;
  }
  EntryList lower = full.entries.take_front(cut);
  // The run goes on after the new entry, in whichever part took it.
  const IndexNode::Run lower_run =
      leaf && added < cut ? IndexNode::Run{static_cast<uint32_t>(added + 1), full.run.length} : IndexNode::Run{};
  full.run = leaf && added >= cut ? IndexNode::Run{static_cast<uint32_t>(added - cut + 1), full.run.length}
                                  : IndexNode::Run{};

  auto fill_lower = [&](IndexNode& target) {
    target.entries = std::move(lower);
    target.run = lower_run;
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
  if (overfull(parent)) {
    const bool rising = how == Split::KeepAllButNew && at >= parent.entries.size() - 1 && parent.next == 0;
    split(path, level - 1, rising ? Split::KeepAllButNew : Split::Half);
  }
}

bool IndexWriter::overfull(const IndexNode& n) {
  return n.entries.total_bytes() > index_page::kCapacity &&
         index_page::packed_size(n.entries, n.leaf) > index_page::kCapacity;
}

void IndexWriter::count_pending() {
  const size_t now = pending_bytes_.capacity() + pending_ends_.capacity() * sizeof(uint32_t);
  bytes_held_ = bytes_held_ - pending_counted_ + now;
  pending_counted_ = now;
}

void IndexWriter::add_pending(const KeyBytes& key, uint32_t row_pointer) {
  make_entry(entry_, key, row_pointer);
  pending_bytes_.insert(pending_bytes_.end(), entry_.begin(), entry_.end());
  pending_ends_.push_back(static_cast<uint32_t>(pending_bytes_.size()));
  count_pending();
}

size_t IndexWriter::pages_pending_may_take() const {
  if (pending_ends_.empty()) return 0;
  return pending_bytes_.size() / (index_page::kCapacity / 10) + 16;
}

uint64_t IndexWriter::insert_pending() {
  if (pending_ends_.empty()) return 0;
  auto pending = [this](uint32_t i) {
    const uint32_t start = i ? pending_ends_[i - 1] : 0;
    return Entry(pending_bytes_.data() + start, pending_ends_[i] - start);
  };
  const std::vector<uint32_t> order = leaf_entry_order(pending_bytes_, pending_ends_);
  uint64_t distinct = 0;
  KeyBytes key;
  uint32_t leaf = 0;    // the leaf the latest entry went into
  size_t settled = 0;   // pages left changed by the last settle_leaves
  for (uint32_t i : order) {
    const Entry e = pending(i);
    key.assign(e.begin(), e.begin() + static_cast<long>(key_length(e, true)));
    if (insert(key, index_page::row_pointer_of(e, true))) ++distinct;
    // In key order, the leaves before this one take no more of the batch: so neither
    // do the pages its splits cut off below it.
    if (path_.back().first != leaf || dirty_count() > settled + 8) {
      leaf = path_.back().first;
      settle_leaves(leaf);
      settled = dirty_count();
    }
  }
  pending_bytes_.clear();
  pending_ends_.clear();
  count_pending();
  // The neighbours read to place entries at the edges of leaves go as well.
  forget();
  return distinct;
}

void IndexWriter::settle_leaves(uint32_t keep) {
  last_descent_valid_ = false;
  size_t kept = 0;
  for (uint32_t page : dirty_leaves_) {
    auto found = nodes_.find(page);
    IndexNode& n = *found->second;
    if (!n.leaf) {
      dirty_upper_.push_back(page);  // a root that split while changed
      continue;
    }
    if (page == keep) {
      dirty_leaves_[kept++] = page;
      continue;
    }
    index_page::encode(n, owner_, pages_.overwrite(page), pages_.page_size());
    n.dirty = false;
    drop(found);
  }
  dirty_leaves_.resize(kept);
}

void IndexWriter::flush() {
  last_descent_valid_ = false;
  for (std::vector<uint32_t>* dirty : {&dirty_upper_, &dirty_leaves_}) {
    for (uint32_t page : *dirty) {
      auto found = nodes_.find(page);
      IndexNode& n = *found->second;
      index_page::encode(n, owner_, pages_.overwrite(page), pages_.page_size());
      n.dirty = false;
      // A leaf now lives in its page until the next commit; held decoded as well, a
      // commit would need twice the memory of what it writes.
      if (n.leaf) drop(found);
    }
    dirty->clear();
  }
}

void IndexWriter::forget() {
  last_descent_valid_ = false;
  // Every insert passes through the upper levels, and they are a small part of the
  // index: they stay decoded, so that after a commit an insert reads one leaf again,
  // not its whole way down. A changed leaf stays until flush() has encoded it.
  for (auto it = nodes_.begin(); it != nodes_.end();) {
    auto next = std::next(it);
    if (it->second->leaf && !it->second->dirty) drop(it);
    it = next;
  }
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
