#include "jet/writer/checker.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <thread>
#include <utility>

#include "jet/pages/data_page.h"
#include "jet/writer/database_writer.h"
#include "jet/indexes/index_key.h"
#include "jet/indexes/index_page.h"
#include "jet/pages/usage_map.h"

namespace halvaro::jet {

namespace {

constexpr size_t kMaxProblemsPerTable = 20;
constexpr uint64_t kStepsPerProgress = 4096;

// Tells the caller how far the check is, counting rows read and index entries met as
// steps, and rows alone as what is done. The workers of a check share it: the caller
// hears from one of them at a time. Once a worker's task has failed with what must go
// through to the caller, the others' next step ends their tasks too.
class CheckProgress {
 public:
  // Thrown through a task that another worker's failure ends.
  struct Abandoned {};

  CheckProgress(const VerifyProgress& progress, uint64_t recorded) : progress_(progress), recorded_(recorded) {}
  void row() {
    rows_.fetch_add(1, std::memory_order_relaxed);
    step();
  }
  void step() {
    if (abandoned_.load(std::memory_order_relaxed)) throw Abandoned{};
    if (!progress_ || (steps_.fetch_add(1, std::memory_order_relaxed) + 1) % kStepsPerProgress != 0) return;
    const std::lock_guard lock(mutex_);
    const uint64_t rows = rows_.load(std::memory_order_relaxed);
    progress_(rows, std::max(rows, recorded_));
  }
  void abandon() { abandoned_ = true; }

 private:
  const VerifyProgress& progress_;
  const uint64_t recorded_;
  std::atomic<uint64_t> rows_{0};
  std::atomic<uint64_t> steps_{0};
  std::atomic<bool> abandoned_{false};
  std::mutex mutex_;
};

// What the index checks need of a row for one index, in 8 bytes: a digest of the key
// the row's values give (62 bits: a wrong entry matching one by chance is not a
// concern), or that the key cannot be computed, and whether its key columns are all null.
struct KeyFact {
  uint64_t digest : 62 = 0;
  uint64_t unknown : 1 = 0;
  uint64_t all_null : 1 = 0;
};

constexpr uint64_t kDigestMask = (uint64_t{1} << 62) - 1;

uint64_t key_digest(Entry key) {
  uint64_t hash = 0xcbf29ce484222325ULL ^ key.size();  // FNV-1a, seeded with the length
  for (uint8_t byte : key) hash = (hash ^ byte) * 0x100000001b3ULL;
  return hash & kDigestMask;
}

// A mix of a row's address and its key's digest. An index agrees with its rows when the
// sum of these over its entries equals the sum over the rows it should have an entry
// for, and the counts are equal: the sum does not depend on the order the entries come
// in, so the index is checked in one pass over its tree without looking a row up. (An
// index whose entries differ from the rows' keys matches the sum by chance with odds of
// 2^-64.)
uint64_t pair_hash(uint32_t at, uint64_t digest) {
  uint64_t x = digest ^ (uint64_t{at} * 0x9E3779B97F4A7C15ULL);  // splitmix64's finaliser
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// What the rows of a table say one index should hold: how many entries, the sum of
// their pair hashes, and whether some row's key cannot be computed.
struct ExpectedEntries {
  size_t count = 0;
  uint64_t sum = 0;
  bool unknown = false;
};

// The live rows of a table by address, each with one KeyFact per index, in address
// order once settled.
class RowKeys {
 public:
  explicit RowKeys(size_t indexes) : per_row_(indexes) {}
  // A row and then its facts, one per index in order.
  void add(uint32_t at) { addresses_.push_back(at); }
  void add(KeyFact fact) { facts_.push_back(fact); }
  // Orders the rows by address (a scan follows the usage map, not the page numbers) and
  // indexes them by page.
  void settle() {
    if (!std::is_sorted(addresses_.begin(), addresses_.end())) sort_by_address();
    // first_on_page_[p]: the place of the first row on page p or after it.
    const uint32_t pages = addresses_.empty() ? 0 : (addresses_.back() >> 8) + 1;
    first_on_page_.assign(size_t{pages} + 1, 0);
    size_t row = 0;
    for (uint32_t page = 0; page <= pages; ++page) {
      while (row < addresses_.size() && (addresses_[row] >> 8) < page) ++row;
      first_on_page_[page] = static_cast<uint32_t>(row);
    }
  }
  size_t size() const { return addresses_.size(); }
  // The row at this address, as its place among the rows: the rows of its page, found
  // through the page index, hold it or nobody does.
  std::optional<size_t> find(uint32_t at) const {
    const uint32_t page = at >> 8;
    if (size_t{page} + 1 >= first_on_page_.size()) return std::nullopt;
    const auto begin = addresses_.begin() + first_on_page_[page];
    const auto end = addresses_.begin() + first_on_page_[page + 1];
    const auto found = std::lower_bound(begin, end, at);
    if (found == end || *found != at) return std::nullopt;
    return static_cast<size_t>(found - addresses_.begin());
  }
  const KeyFact& fact(size_t row, size_t index) const { return facts_[row * per_row_ + index]; }

 private:
  void sort_by_address() {
    std::vector<uint32_t> order(addresses_.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return addresses_[a] < addresses_[b]; });
    std::vector<uint32_t> addresses;
    std::vector<KeyFact> facts;
    addresses.reserve(addresses_.size());
    facts.reserve(facts_.size());
    for (uint32_t i : order) {
      addresses.push_back(addresses_[i]);
      facts.insert(facts.end(), facts_.begin() + static_cast<long>(i * per_row_),
                   facts_.begin() + static_cast<long>((i + 1) * per_row_));
    }
    addresses_ = std::move(addresses);
    facts_ = std::move(facts);
  }

  size_t per_row_;
  std::vector<uint32_t> addresses_;
  std::vector<KeyFact> facts_;
  std::vector<uint32_t> first_on_page_;
};

// Reads a table's rows through the verifying scan and calls visit with each live row's
// address and its facts, one per index (none for a Jet 3 file, whose keys are not
// checked). Only the columns of the keys are decoded; the others are checked as a scan
// would.
void read_key_facts(const Database& db, const TableDef& table,
                    const std::function<void(uint32_t at, std::span<const KeyFact> facts)>& visit) {
  const bool keyed = db.format() == Format::Jet4 && !table.real_indexes.empty();
  std::vector<bool> wanted(table.columns.size(), false);
  if (keyed)
    for (const RealIndex& index : table.real_indexes)
      for (const IndexColumn& ic : index.columns) wanted.at(ic.column) = true;
  std::vector<KeyFact> facts(keyed ? table.real_indexes.size() : 0);
  KeyBytes key;             // room for each row's keys in turn
  TextKeyParts text_parts;  // the key parts of the texts of the row before
  db.scan_columns_with_location(table, wanted, [&](std::span<const FieldValue> values, RowLocation at) {
    for (size_t r = 0; r < facts.size(); ++r) {
      const RealIndex& index = table.real_indexes[r];
      KeyFact& fact = facts[r];
      fact = KeyFact{};
      fact.all_null = std::all_of(index.columns.begin(), index.columns.end(),
                                  [&](const IndexColumn& ic) { return values[ic.column].is_null(); });
      try {
        key.clear();
        for (const IndexColumn& ic : index.columns)
          text_parts.append(key, table.columns.at(ic.column).type, ic.column, values[ic.column], ic.ascending);
        fact.digest = key_digest(key) & kDigestMask;  // (already within it: the mask shows it fits)
      } catch (const ValueError&) {
        fact.unknown = true;  // a character whose sort codes we do not know
      }
    }
    visit(at.page << 8 | at.row, facts);
    return true;
  });
}

// What reading a table's rows found: the rows, and what each index should hold; or
// the damage that stopped the reading.
struct RowsRead {
  size_t count = 0;
  std::vector<ExpectedEntries> expected;  // per index
  std::optional<std::string> damage;      // the scan's message, which names the file and the table
};

// A system table's rows are steps, not rows done: the total told is the user tables' rows.
RowsRead read_rows(const Database& db, const TableDef& table, bool system, CheckProgress& progress) {
  RowsRead read;
  read.expected.assign(table.real_indexes.size(), ExpectedEntries{});
  try {
    read_key_facts(db, table, [&](uint32_t at, std::span<const KeyFact> facts) {
      for (size_t r = 0; r < facts.size(); ++r) {
        ExpectedEntries& expected = read.expected[r];
        if (facts[r].unknown) expected.unknown = true;
        if (facts[r].all_null && (table.real_indexes[r].flags & kIndexIgnoreNulls)) continue;
        ++expected.count;
        expected.sum += pair_hash(at, facts[r].digest);
      }
      ++read.count;
      if (system)
        progress.step();
      else
        progress.row();
    });
  } catch (const JetError& e) {
    read.damage = e.what();
  }
  return read;
}

bool is_unique(const TableDef& table, size_t real) {
  if (table.real_indexes[real].flags & kIndexUnique) return true;
  return std::any_of(table.indexes.begin(), table.indexes.end(), [real](const Index& i) {
    return i.real_index == static_cast<int>(real) && (i.unique || i.primary);
  });
}

// What one walk of an index's tree found, looking no row up: whether its tree is well
// formed, its leaves linked in order, its entries in order and no two keys of a unique
// index the same (unless null); and its entries' count and sum of pairs of address and
// key, for the rows' to be compared with.
struct IndexWalk {
  bool well_formed = false;
  size_t entries = 0;
  uint64_t sum = 0;
};

IndexWalk walk_index(const PageSource& pages, const TableDef& table, size_t real, CheckProgress& progress) {
  const RealIndex& index = table.real_indexes[real];
  const bool unique = is_unique(table, real);
  IndexWalk found;
  EntryBytes last;
  bool any_entry = false;
  std::vector<bool> visited(pages.page_count(), false);
  uint32_t last_leaf = 0, last_leaf_next = 0;
  std::function<bool(uint32_t, int)> walk = [&](uint32_t page, int depth) -> bool {
    if (depth > 32 || page == 0 || page >= pages.page_count() || visited[page]) return false;
    visited[page] = true;
    IndexNode node;
    try {
      node = index_page::decode(pages.page(page).data(), page);
    } catch (const std::exception&) {
      return false;
    }
    if (node.leaf) {
      if (node.prev != last_leaf || (last_leaf != 0 && last_leaf_next != page)) return false;
      last_leaf = page;
      last_leaf_next = node.next;
      for (size_t i = 0; i < node.entries.size(); ++i) {
        const Entry entry = node.entries[i];
        ++found.entries;
        progress.step();
        const Entry key = entry.first(index_page::key_length(entry, true));
        if (any_entry) {
          if (index_page::compare_entries(last, entry, true) >= 0) return false;
          const Entry last_key = Entry(last).first(index_page::key_length(last, true));
          // A key of nulls only (one flag byte per column) is exempt from uniqueness.
          if (unique && std::equal(last_key.begin(), last_key.end(), key.begin(), key.end()) &&
              key.size() != index.columns.size())
            return false;
        }
        found.sum += pair_hash(index_page::row_pointer_of(entry, true), key_digest(key));
        last.assign(entry.begin(), entry.end());
        any_entry = true;
      }
      return true;
    }
    for (size_t i = 0; i < node.entries.size(); ++i) {
      const Entry e = node.entries[i];
      if (!walk(index_page::child_of(e), depth + 1)) return false;
      const size_t n = index_page::ordered_length(e, false);
      if (!any_entry || last.size() != n || !std::equal(e.begin(), e.begin() + static_cast<long>(n), last.begin()))
        return false;
    }
    return node.tail == 0 || walk(node.tail, depth + 1);
  };
  found.well_formed = walk(index.root_page, 0) && last_leaf_next == 0;
  return found;
}

// An index whose walk finds it well formed, with the count and sum of entries its rows
// expect, is sound; one whose rows' keys cannot all be computed is not judged so.
bool sound(const IndexWalk& walk, const ExpectedEntries& expected) {
  return !expected.unknown && walk.well_formed && walk.entries == expected.count && walk.sum == expected.sum;
}

// The data pages of the file by owning table, found in one pass over the file: each
// table's usage maps are compared with them, and reading every page once per table
// would read a large file as many times as it has tables.
class DataPageOwners {
 public:
  explicit DataPageOwners(const PageSource& pages) {
    for (uint32_t page = 1; page < pages.page_count(); ++page) {
      auto p = pages.page(page);
      if (p[0] == 0x01) owned_.push_back({data_page_owner(ByteView(p)), page});
    }
    std::sort(owned_.begin(), owned_.end());
    pages_.reserve(owned_.size());
    for (const auto& [owner, page] : owned_) pages_.push_back(page);
  }
  // The data pages that name this definition page as their owner, ascending.
  std::span<const uint32_t> pages_of(uint32_t definition_page) const {
    using Owned = std::pair<uint32_t, uint32_t>;
    const auto first = std::lower_bound(owned_.begin(), owned_.end(), Owned{definition_page, 0});
    const auto last = std::lower_bound(first, owned_.end(), Owned{definition_page + 1, 0});
    return std::span<const uint32_t>(pages_).subspan(static_cast<size_t>(first - owned_.begin()),
                                                     static_cast<size_t>(last - first));
  }

 private:
  std::vector<std::pair<uint32_t, uint32_t>> owned_;  // (owner, page), ascending
  std::vector<uint32_t> pages_;                       // the pages of owned_, in its order
};

class TableCheck {
 public:
  TableCheck(const Database& db, const TableDef& table, bool system, const DataPageOwners& owners,
             CheckReport& report, CheckProgress& progress)
      : db_(db),
        pages_(db.pages()),
        table_(table),
        system_(system),
        owners_(owners),
        report_(report),
        progress_(progress) {}

  // Access keeps neither the row count nor the page maps of its own system tables
  // exact (its files show both off), so those are checked for user tables only.
  // What the rows and the walk of each index found is at hand; an index not found
  // sound is walked again entry by entry against its rows' keys, which the rows are
  // read again for, to tell what is wrong.
  // A piece whose work failed throws its exception where the check of the table
  // would have met it.
  void finish(const RowsRead& read, const std::exception_ptr& rows_error, std::span<const IndexWalk> walks,
              std::span<const std::exception_ptr> walk_errors) {
    if (!system_) check_pages();
    if (rows_error) std::rethrow_exception(rows_error);
    if (!check_rows(read)) return;
    if (db_.format() != Format::Jet4) return;  // index keys are checked for Jet 4 files
    for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
      if (walk_errors[r]) std::rethrow_exception(walk_errors[r]);
      if (sound(walks[r], read.expected[r])) {
        if (!system_) report_.index_entries += walks[r].entries;
        continue;
      }
      if (!rows_read_again_ && !read_rows_again()) return;
      check_index(r);
    }
  }

 private:
  void problem(const std::string& what) {
    if (++problems_ <= kMaxProblemsPerTable) report_.problems.push_back("table " + table_.name + ": " + what);
    if (problems_ == kMaxProblemsPerTable + 1)
      report_.problems.push_back("table " + table_.name + ": (further problems not shown)");
  }

  std::vector<uint32_t> map_pages(uint32_t pointer, const char* what) {
    try {
      auto row = raw_row(pages_, RowLocation::unpack(pointer), layout_of(db_.format()), what);
      return usage_map_pages(row, pages_);
    } catch (const JetError& e) {
      problem(std::string("its ") + what + " cannot be read: " + e.what());
      return {};
    }
  }

  void check_pages() {
    const auto owned = map_pages(table_.owned_pages, "owned-pages map");  // ascending
    const auto free_space = map_pages(table_.free_space_pages, "free-space map");
    const std::span<const uint32_t> found = owners_.pages_of(table_.definition_page);  // ascending
    const auto among = [](std::span<const uint32_t> pages, uint32_t page) {
      return std::binary_search(pages.begin(), pages.end(), page);
    };
    for (uint32_t page : owned)
      if (!among(found, page))
        problem("its owned-pages map lists page " + std::to_string(page) + ", which is not one of its data pages");
    for (uint32_t page : free_space)
      if (!among(owned, page))
        problem("its free-space map lists page " + std::to_string(page) + ", which it does not own");
    for (uint32_t page : found)
      if (!among(owned, page))
        problem("data page " + std::to_string(page) + " is missing from its owned-pages map");
  }

  // Rows are read by the same verifying scan as every other reader, so what a
  // transfer or dump would refuse is what the check reports. Of each row only what the
  // index checks need is kept, not its values: a table's rows can outgrow memory. The
  // first reading keeps per index the count and sum of the entries it should have;
  // a reading again keeps per row its address and a digest of each index's key for it.
  bool check_rows(const RowsRead& read) {
    if (!system_) report_.rows += read.count;
    if (read.damage) {
      ++problems_;
      report_.problems.push_back(*read.damage);
      return false;
    }
    // The scan itself compares the rows found with the definition's count.
    return true;
  }

  bool read_rows_again() {
    rows_read_again_ = true;
    try {
      read_key_facts(db_, table_, [&](uint32_t at, std::span<const KeyFact> facts) {
        rows_.add(at);
        for (const KeyFact& fact : facts) rows_.add(fact);
      });
    } catch (const JetError& e) {
      ++problems_;
      report_.problems.push_back(e.what());
      return false;
    }
    rows_.settle();
    return true;
  }

  std::string index_name(size_t real) const {
    for (const Index& i : table_.indexes)
      if (i.real_index == static_cast<int>(real)) return "index " + i.name;
    return "index #" + std::to_string(real);
  }

  // Walks the tree in order and checks each leaf entry as it comes: only the entry
  // before it is held, so an index of millions of entries needs no more memory than
  // its rows' digests.
  void check_index(size_t real) {
    const RealIndex& index = table_.real_indexes[real];
    const std::string name = index_name(real);
    const bool unique = is_unique(table_, real);
    EntryBytes last;  // the last leaf entry met
    bool any_entry = false;
    size_t entries = 0;
    std::vector<uint8_t> seen(rows_.size(), 0);
    std::set<uint32_t> visited;
    // The leaf before the current one, checked once its next leaf is known.
    struct Leaf {
      uint32_t page = 0, prev = 0, next = 0, expected_prev = 0;
    };
    std::optional<Leaf> pending;
    auto settle_leaf = [&](uint32_t following) {
      if (pending && (pending->prev != pending->expected_prev || pending->next != following))
        problem(name + ": leaf page " + std::to_string(pending->page) + " is linked to the wrong neighbours");
    };

    auto check_entry = [&](Entry entry) {
      ++entries;
      progress_.step();
      if (any_entry && index_page::compare_entries(last, entry, true) >= 0)
        problem(name + ": entries out of order on its leaf pages");
      const uint32_t at = index_page::row_pointer_of(entry, true);
      const Entry key = entry.first(index_page::key_length(entry, true));
      const std::optional<size_t> row = rows_.find(at);
      if (unique && any_entry) {
        const Entry last_key = Entry(last).first(index_page::key_length(last, true));
        // A key of nulls only is exempt: Access lets any number of rows leave a
        // unique index's columns empty.
        if (std::equal(last_key.begin(), last_key.end(), key.begin(), key.end()) &&
            !(row && rows_.fact(*row, real).all_null)) {
          const uint32_t first = index_page::row_pointer_of(last, true);
          problem(name + " is unique, but page " + std::to_string(first >> 8) + " row " +
                  std::to_string(first & 0xFF) + " and page " + std::to_string(at >> 8) + " row " +
                  std::to_string(at & 0xFF) + " have the same key");
        }
      }
      last.assign(entry.begin(), entry.end());
      any_entry = true;
      if (!row) {
        problem(name + ": an entry points at page " + std::to_string(at >> 8) + " row " + std::to_string(at & 0xFF) +
                ", where no live row is");
        return;
      }
      if (seen[*row]) problem(name + ": a row has more than one entry");
      seen[*row] = 1;
      const KeyFact& fact = rows_.fact(*row, real);
      if (fact.unknown) {
        ++report_.unverified_entries;
        return;
      }
      if (key_digest(key) != fact.digest)
        problem(name + ": the entry for page " + std::to_string(at >> 8) + " row " + std::to_string(at & 0xFF) +
                " does not hold that row's key");
    };

    // In-order walk: every intermediate entry must equal its child's greatest entry.
    std::function<bool(uint32_t, int)> walk = [&](uint32_t page, int depth) -> bool {
      if (depth > 32 || page == 0 || page >= pages_.page_count() || !visited.insert(page).second) {
        problem(name + ": the tree reaches page " + std::to_string(page) + " wrongly (a cycle or a bad number)");
        return false;
      }
      IndexNode node;
      try {
        node = index_page::decode(pages_.page(page).data(), page);
      } catch (const std::exception& e) {
        problem(name + ": " + e.what());
        return false;
      }
      if (node.leaf) {
        settle_leaf(page);
        pending = Leaf{page, node.prev, node.next, pending ? pending->page : 0};
        for (size_t i = 0; i < node.entries.size(); ++i) check_entry(node.entries[i]);
        return true;
      }
      for (size_t i = 0; i < node.entries.size(); ++i) {
        const Entry e = node.entries[i];
        if (!walk(index_page::child_of(e), depth + 1)) return false;
        const size_t n = index_page::ordered_length(e, false);
        if (!any_entry || last.size() != n || !std::equal(e.begin(), e.begin() + static_cast<long>(n), last.begin()))
          problem(name + ": an entry of page " + std::to_string(page) + " does not match the last entry below it");
      }
      return node.tail == 0 || walk(node.tail, depth + 1);
    };
    if (!walk(index.root_page, 0)) return;
    settle_leaf(0);  // the last leaf has no next

    if (!system_) report_.index_entries += entries;
    // An index that ignores nulls has no entries for rows whose key is all null.
    size_t expected_entries = rows_.size();
    if (index.flags & kIndexIgnoreNulls)
      for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_.fact(row, real).all_null) --expected_entries;
    const auto rows_with_entry =
        static_cast<size_t>(std::count_if(seen.begin(), seen.end(), [](uint8_t n) { return n > 0; }));
    if (rows_with_entry != expected_entries)
      problem(name + ": " + std::to_string(expected_entries - std::min(expected_entries, rows_with_entry)) +
              " rows have no entry");
  }

  const Database& db_;
  const PageSource& pages_;
  const TableDef& table_;
  const bool system_;
  const DataPageOwners& owners_;
  CheckReport& report_;
  CheckProgress& progress_;
  size_t problems_ = 0;
  bool rows_read_again_ = false;
  RowKeys rows_{table_.real_indexes.size()};  // filled when the rows are read again
};

// Every saved query has rows in MSysQueries that rebuild to a statement, and every
// MSysQueries row belongs to a saved query of the catalog.
void check_saved_queries(const Database& database, CheckReport& report) {
  const TableDef* queries = database.find_table("MSysQueries");
  if (queries == nullptr) return;
  const Column* object_id = queries->find_column("ObjectId");
  if (object_id == nullptr) {
    report.problems.push_back("table MSysQueries: it has no ObjectId column");
    return;
  }
  std::map<int32_t, size_t> rows_per_object;
  database.scan(*queries, [&](std::span<const FieldValue> values) {
    const FieldValue& id = values[object_id->position];
    ++rows_per_object[id.is<int64_t>() ? static_cast<int32_t>(id.as<int64_t>()) : 0];
    return true;
  });
  std::set<int32_t> query_ids;
  for (const CatalogEntry& entry : database.catalog()) {
    if (!entry.is(ObjectType::Query)) continue;
    query_ids.insert(entry.id);
    if (!rows_per_object.count(entry.id)) {
      report.problems.push_back("saved query " + entry.name + ": it has no rows in MSysQueries");
      continue;
    }
    try {
      database.query_sql(entry.name);
    } catch (const JetError& e) {
      report.problems.push_back("saved query " + entry.name + ": its rows do not form a query: " + e.what());
    }
  }
  for (const auto& [id, count] : rows_per_object)
    if (!query_ids.count(id))
      report.problems.push_back("table MSysQueries: " + std::to_string(count) + " rows belong to object " +
                                std::to_string(id) + ", which is no saved query of the catalog");
}

// One piece of the check that needs no other: the file's data pages found by owner, a
// table's rows read, or one index walked. Workers take them largest first; what they
// find is told afterwards table by table in catalog order, so the report is the same
// however the pieces were shared out.
struct Task {
  enum class Kind { Owners, Rows, Walk } kind = Kind::Owners;
  size_t table = 0;  // among the tables checked
  size_t index = 0;  // the real index walked
  uint64_t cost = 0;
};

struct TableWork {
  std::string name;
  bool system = false;
  const TableDef* table = nullptr;  // null when its definition cannot be read
  std::string unreadable;           // why
  RowsRead rows;
  std::vector<IndexWalk> walks;
  std::exception_ptr rows_error;
  std::vector<std::exception_ptr> walk_errors;
};

// Whether an exception ends the check for the caller rather than being told as a
// problem of its table (one not derived from std::exception: a caller's stop request).
bool goes_through(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception&) {
    return false;
  } catch (...) {
    return true;
  }
}

// Readers that may read pages on two threads at once (a writer's journaled store may not).
bool reads_concurrently(const PageSource& pages) {
  return dynamic_cast<const FilePageSource*>(&pages) != nullptr ||
         dynamic_cast<const MemoryPageSource*>(&pages) != nullptr;
}

}  // namespace

CheckReport check_database(const Database& database, const VerifyProgress& progress, unsigned workers) {
  CheckReport report;
  std::vector<TableWork> tables;
  uint64_t recorded = 0;
  for (const CatalogEntry& entry : database.catalog()) {
    if (!entry.is(ObjectType::Table)) continue;
    TableWork& work = tables.emplace_back();
    work.name = entry.name;
    work.system = entry.is_system();
    try {
      work.table = &database.table(entry.name);
      if (!work.system) recorded += work.table->row_count;
      work.walks.resize(work.table->real_indexes.size());
      work.walk_errors.resize(work.table->real_indexes.size());
    } catch (const std::exception& e) {
      work.unreadable = e.what();
    }
  }
  CheckProgress steps(progress, recorded);

  std::vector<Task> tasks{{Task::Kind::Owners, 0, 0, database.pages().page_count()}};
  for (size_t t = 0; t < tables.size(); ++t) {
    if (tables[t].table == nullptr) continue;
    const uint64_t rows = tables[t].table->row_count;
    tasks.push_back({Task::Kind::Rows, t, 0, 4 * rows + 1});
    if (database.format() == Format::Jet4)
      for (size_t r = 0; r < tables[t].walks.size(); ++r) tasks.push_back({Task::Kind::Walk, t, r, rows + 1});
  }
  std::stable_sort(tasks.begin(), tasks.end(), [](const Task& a, const Task& b) { return a.cost > b.cost; });

  std::optional<DataPageOwners> owners;
  std::exception_ptr owners_error;
  // Where a task's failure is kept.
  auto error_of = [&](const Task& task) -> std::exception_ptr& {
    if (task.kind == Task::Kind::Owners) return owners_error;
    TableWork& table = tables[task.table];
    return task.kind == Task::Kind::Rows ? table.rows_error : table.walk_errors[task.index];
  };
  std::atomic<size_t> next{0};
  auto work = [&](const Database& db) {
    for (size_t t; (t = next.fetch_add(1)) < tasks.size();) {
      const Task& task = tasks[t];
      std::exception_ptr& error = error_of(task);
      try {
        if (task.kind == Task::Kind::Owners) {
          owners.emplace(db.pages());
          continue;
        }
        TableWork& table = tables[task.table];
        if (task.kind == Task::Kind::Rows)
          table.rows = read_rows(db, db.table(table.name), table.system, steps);
        else
          table.walks[task.index] = walk_index(db.pages(), db.table(table.name), task.index, steps);
      } catch (const CheckProgress::Abandoned&) {
        return;
      } catch (...) {
        error = std::current_exception();
        if (goes_through(error)) steps.abandon();
      }
    }
  };

  if (workers == 0) workers = std::clamp(std::thread::hardware_concurrency(), 1u, 2u);
  std::unique_ptr<Database> second;
  if (workers > 1 && tasks.size() > 1 && reads_concurrently(database.pages())) {
    try {
      // A reader of its own over the same pages: a Database is not for two threads at once.
      second = Database::open(std::shared_ptr<const PageSource>(std::shared_ptr<void>(), &database.pages()),
                              database.path());
    } catch (const std::exception&) {
      // One worker does it all.
    }
  }
  if (second) {
    std::thread helper([&] { work(*second); });
    work(database);
    helper.join();
  } else {
    work(database);
  }

  // What goes through to the caller does so first; the first of the tasks as handed out.
  for (const Task& task : tasks)
    if (const std::exception_ptr& error = error_of(task); error && goes_through(error)) std::rethrow_exception(error);
  if (owners_error) std::rethrow_exception(owners_error);

  for (TableWork& work_done : tables) {
    ++(work_done.system ? report.system_tables : report.tables);
    if (work_done.table == nullptr) {
      report.problems.push_back("table " + work_done.name + ": " + work_done.unreadable);
      continue;
    }
    try {
      TableCheck(database, *work_done.table, work_done.system, *owners, report, steps)
          .finish(work_done.rows, work_done.rows_error, work_done.walks, work_done.walk_errors);
    } catch (const std::exception& e) {
      report.problems.push_back("table " + work_done.name + ": " + e.what());
    }
  }
  try {
    check_saved_queries(database, report);
  } catch (const std::exception& e) {
    report.problems.push_back("table MSysQueries: " + std::string(e.what()));
  }
  return report;
}

}  // namespace halvaro::jet
