#include "jet/writer/checker.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <span>
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
// steps, and rows alone as what is done.
class CheckProgress {
 public:
  CheckProgress(const VerifyProgress& progress, uint64_t recorded) : progress_(progress), recorded_(recorded) {}
  void row() {
    ++rows_;
    step();
  }
  void step() {
    if (progress_ && ++steps_ % kStepsPerProgress == 0) progress_(rows_, std::max(rows_, recorded_));
  }

 private:
  const VerifyProgress& progress_;
  const uint64_t recorded_;
  uint64_t rows_ = 0;
  uint64_t steps_ = 0;
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
  // Each index is first walked in one pass that only tells whether it is sound; one
  // that is not is walked again entry by entry against its rows' keys, which the rows
  // are read again for, to tell what is wrong.
  void run() {
    if (!system_) check_pages();
    if (!check_rows()) return;
    if (db_.format() != Format::Jet4) return;  // index keys are checked for Jet 4 files
    for (size_t r = 0; r < table_.real_indexes.size(); ++r) {
      if (sound_index(r)) continue;
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
  bool check_rows() {
    expected_.assign(table_.real_indexes.size(), ExpectedEntries{});
    size_t count = 0;
    try {
      read_rows([&](uint32_t at, std::span<const KeyFact> facts) {
        for (size_t r = 0; r < facts.size(); ++r) {
          ExpectedEntries& expected = expected_[r];
          if (facts[r].unknown) expected.unknown = true;
          if (facts[r].all_null && (table_.real_indexes[r].flags & kIndexIgnoreNulls)) continue;
          ++expected.count;
          expected.sum += pair_hash(at, facts[r].digest);
        }
        ++count;
        progress_.row();
      });
    } catch (const JetError& e) {
      if (!system_) report_.rows += count;
      // The message already names the file and the table.
      ++problems_;
      report_.problems.push_back(e.what());
      return false;
    }
    // The scan itself compares the rows found with the definition's count.
    if (!system_) report_.rows += count;
    return true;
  }

  bool read_rows_again() {
    rows_read_again_ = true;
    try {
      read_rows([&](uint32_t at, std::span<const KeyFact> facts) {
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

  // Calls visit with each live row's address and its facts, one per index.
  void read_rows(const std::function<void(uint32_t at, std::span<const KeyFact> facts)>& visit) {
    const bool keyed = db_.format() == Format::Jet4 && !table_.real_indexes.empty();
    // Only the columns of the keys are decoded; the others are checked as a scan would.
    std::vector<bool> wanted(table_.columns.size(), false);
    if (keyed)
      for (const RealIndex& index : table_.real_indexes)
        for (const IndexColumn& ic : index.columns) wanted.at(ic.column) = true;
    std::vector<KeyFact> facts(keyed ? table_.real_indexes.size() : 0);
    db_.scan_columns_with_location(table_, wanted, [&](std::span<const FieldValue> values, RowLocation at) {
      for (size_t r = 0; r < facts.size(); ++r) facts[r] = key_fact(table_.real_indexes[r], values);
      visit(at.page << 8 | at.row, facts);
      return true;
    });
  }

  KeyFact key_fact(const RealIndex& index, std::span<const FieldValue> values) {
    KeyFact fact;
    fact.all_null = std::all_of(index.columns.begin(), index.columns.end(),
                                [&](const IndexColumn& ic) { return values[ic.column].is_null(); });
    try {
      key_.clear();
      for (const IndexColumn& ic : index.columns)
        text_parts_.append(key_, table_.columns.at(ic.column).type, ic.column, values[ic.column], ic.ascending);
      fact.digest = key_digest(key_) & kDigestMask;  // (already within it: the mask shows it fits)
    } catch (const ValueError&) {
      fact.unknown = true;  // a character whose sort codes we do not know
    }
    return fact;
  }

  // Whether an index is sound, found in one walk of its tree that looks no row up:
  // its tree well formed, its leaves linked in order, its entries in order, no two
  // keys of a unique index the same (unless null), and its entries, counted and summed
  // as pairs of address and key, those its rows expect. An index whose rows' keys
  // cannot all be computed is not judged here.
  bool sound_index(size_t real) {
    const RealIndex& index = table_.real_indexes[real];
    const ExpectedEntries& expected = expected_[real];
    if (expected.unknown) return false;
    const bool unique = is_unique(real);
    EntryBytes last;
    bool any_entry = false;
    size_t entries = 0;
    uint64_t sum = 0;
    std::vector<bool> visited(pages_.page_count(), false);
    uint32_t last_leaf = 0, last_leaf_next = 0;
    std::function<bool(uint32_t, int)> walk = [&](uint32_t page, int depth) -> bool {
      if (depth > 32 || page == 0 || page >= pages_.page_count() || visited[page]) return false;
      visited[page] = true;
      IndexNode node;
      try {
        node = index_page::decode(pages_.page(page).data(), page);
      } catch (const std::exception&) {
        return false;
      }
      if (node.leaf) {
        if (node.prev != last_leaf || (last_leaf != 0 && last_leaf_next != page)) return false;
        last_leaf = page;
        last_leaf_next = node.next;
        for (size_t i = 0; i < node.entries.size(); ++i) {
          const Entry entry = node.entries[i];
          ++entries;
          progress_.step();
          if (entry.size() < 4) return false;
          const Entry key = entry.first(index_page::key_length(entry, true));
          if (any_entry) {
            if (index_page::compare_entries(last, entry, true) >= 0) return false;
            const Entry last_key = Entry(last).first(index_page::key_length(last, true));
            // A key of nulls only (one flag byte per column) is exempt from uniqueness.
            if (unique && std::equal(last_key.begin(), last_key.end(), key.begin(), key.end()) &&
                key.size() != index.columns.size())
              return false;
          }
          sum += pair_hash(index_page::row_pointer_of(entry, true), key_digest(key));
          last.assign(entry.begin(), entry.end());
          any_entry = true;
        }
        return true;
      }
      for (size_t i = 0; i < node.entries.size(); ++i) {
        const Entry e = node.entries[i];
        if (e.size() < 8 || !walk(index_page::child_of(e), depth + 1)) return false;
        const size_t n = index_page::ordered_length(e, false);
        if (!any_entry || last.size() != n || !std::equal(e.begin(), e.begin() + static_cast<long>(n), last.begin()))
          return false;
      }
      return node.tail == 0 || walk(node.tail, depth + 1);
    };
    const bool sound = walk(index.root_page, 0) && last_leaf_next == 0 && entries == expected.count && sum == expected.sum;
    if (sound && !system_) report_.index_entries += entries;
    return sound;
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
    const bool unique = is_unique(real);
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

  bool is_unique(size_t real) const {
    if (table_.real_indexes[real].flags & kIndexUnique) return true;
    return std::any_of(table_.indexes.begin(), table_.indexes.end(), [real](const Index& i) {
      return i.real_index == static_cast<int>(real) && (i.unique || i.primary);
    });
  }

  const Database& db_;
  const PageSource& pages_;
  const TableDef& table_;
  const bool system_;
  const DataPageOwners& owners_;
  CheckReport& report_;
  CheckProgress& progress_;
  size_t problems_ = 0;
  std::vector<ExpectedEntries> expected_;  // per index
  bool rows_read_again_ = false;
  RowKeys rows_{table_.real_indexes.size()};  // filled when the rows are read again
  KeyBytes key_;  // room for each row's keys in turn
  TextKeyParts text_parts_;  // the key parts of the texts of the row before
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

}  // namespace

CheckReport check_database(const Database& database, const VerifyProgress& progress) {
  CheckReport report;
  uint64_t recorded = 0;
  if (progress) {
    for (const std::string& name : database.table_names()) {
      try {
        recorded += database.table(name).row_count;
      } catch (const std::exception&) {
        // A definition that cannot be read is reported with its table below.
      }
    }
  }
  CheckProgress steps(progress, recorded);
  const DataPageOwners owners(database.pages());
  for (const CatalogEntry& entry : database.catalog()) {
    if (!entry.is(ObjectType::Table)) continue;
    const bool system = entry.is_system();
    ++(system ? report.system_tables : report.tables);
    try {
      const TableDef& table = database.table(entry.name);
      TableCheck(database, table, system, owners, report, steps).run();
    } catch (const std::exception& e) {
      report.problems.push_back("table " + entry.name + ": " + e.what());
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
