#include "jet/writer/checker.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include "jet/pages/data_page.h"
#include "jet/writer/database_writer.h"
#include "jet/indexes/index_key.h"
#include "jet/indexes/index_page.h"
#include "jet/pages/usage_map.h"

namespace halvaro::jet {

namespace {

constexpr size_t kMaxProblemsPerTable = 20;

class TableCheck {
 public:
  TableCheck(const Database& db, const TableDef& table, bool system, CheckReport& report)
      : db_(db), pages_(db.pages()), table_(table), system_(system), report_(report) {}

  // Access keeps neither the row count nor the page maps of its own system tables
  // exact (its files show both off), so those are checked for user tables only.
  void run() {
    if (!system_) check_pages();
    if (!check_rows()) return;
    if (db_.format() != Format::Jet4) return;  // index keys are checked for Jet 4 files
    for (size_t r = 0; r < table_.real_indexes.size(); ++r) check_index(r);
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
    const auto owned = map_pages(table_.owned_pages, "owned-pages map");
    const auto free_space = map_pages(table_.free_space_pages, "free-space map");
    const std::set<uint32_t> owned_set(owned.begin(), owned.end());
    for (uint32_t page : owned) {
      auto p = pages_.page(page);
      if (p[0] != 0x01 || data_page_owner(ByteView(p)) != table_.definition_page)
        problem("its owned-pages map lists page " + std::to_string(page) + ", which is not one of its data pages");
    }
    for (uint32_t page : free_space)
      if (!owned_set.count(page))
        problem("its free-space map lists page " + std::to_string(page) + ", which it does not own");
    for (uint32_t page = 1; page < pages_.page_count(); ++page) {
      auto p = pages_.page(page);
      if (p[0] == 0x01 && data_page_owner(ByteView(p)) == table_.definition_page && !owned_set.count(page))
        problem("data page " + std::to_string(page) + " is missing from its owned-pages map");
    }
  }

  // Rows are read by the same verifying scan as every other reader, so what a
  // transfer or dump would refuse is what the check reports.
  bool check_rows() {
    size_t count = 0;
    try {
      db_.scan_with_location(table_, [&](std::span<const FieldValue> values, RowLocation at) {
        rows_.emplace(at.page << 8 | at.row, std::vector<FieldValue>(values.begin(), values.end()));
        ++count;
        return true;
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

  KeyBytes key_of(const RealIndex& index, const std::vector<FieldValue>& values) const {
    KeyBytes key;
    for (const IndexColumn& ic : index.columns)
      append_key_part(key, table_.columns.at(ic.column).type, values.at(ic.column), ic.ascending);
    return key;
  }

  std::string index_name(size_t real) const {
    for (const Index& i : table_.indexes)
      if (i.real_index == static_cast<int>(real)) return "index " + i.name;
    return "index #" + std::to_string(real);
  }

  void check_index(size_t real) {
    const RealIndex& index = table_.real_indexes[real];
    const std::string name = index_name(real);
    std::vector<EntryBytes> entries;
    std::vector<uint32_t> leaves;
    std::set<uint32_t> visited;
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
        leaves.push_back(page);
        for (size_t i = 0; i < node.entries.size(); ++i)
          entries.emplace_back(node.entries[i].begin(), node.entries[i].end());
        return true;
      }
      for (size_t i = 0; i < node.entries.size(); ++i) {
        const EntryBytes e(node.entries[i].begin(), node.entries[i].end());
        if (!walk(index_page::child_of(e), depth + 1)) return false;
        const size_t n = index_page::ordered_length(e, false);
        if (entries.empty() || entries.back().size() != n || !std::equal(e.begin(), e.begin() + static_cast<long>(n), entries.back().begin()))
          problem(name + ": an entry of page " + std::to_string(page) + " does not match the last entry below it");
      }
      return node.tail == 0 || walk(node.tail, depth + 1);
    };
    if (!walk(index.root_page, 0)) return;

    // The leaves must also be chained in the same order.
    for (size_t i = 0; i < leaves.size(); ++i) {
      IndexNode leaf = index_page::decode(pages_.page(leaves[i]).data(), leaves[i]);
      const uint32_t prev = i ? leaves[i - 1] : 0, next = i + 1 < leaves.size() ? leaves[i + 1] : 0;
      if (leaf.prev != prev || leaf.next != next)
        problem(name + ": leaf page " + std::to_string(leaves[i]) + " is linked to the wrong neighbours");
    }
    std::unordered_map<uint32_t, int> seen;
    for (size_t i = 0; i < entries.size(); ++i) {
      if (i && index_page::compare_entries(entries[i - 1], entries[i], true) >= 0)
        problem(name + ": entries out of order on its leaf pages");
      const uint32_t at = index_page::row_pointer_of(entries[i], true);
      auto row = rows_.find(at);
      if (row == rows_.end()) {
        problem(name + ": an entry points at page " + std::to_string(at >> 8) + " row " + std::to_string(at & 0xFF) +
                ", where no live row is");
        continue;
      }
      if (++seen[at] > 1) problem(name + ": a row has more than one entry");
      KeyBytes expected;
      try {
        expected = key_of(index, row->second);
      } catch (const ValueError&) {
        // A character whose sort codes we do not know: the entry cannot be checked.
        ++report_.unverified_entries;
        continue;
      }
      const size_t n = index_page::key_length(entries[i], true);
      if (expected.size() != n || !std::equal(expected.begin(), expected.end(), entries[i].begin()))
        problem(name + ": the entry for page " + std::to_string(at >> 8) + " row " + std::to_string(at & 0xFF) +
                " does not hold that row's key");
    }
    if (!system_) report_.index_entries += entries.size();
    if (is_unique(real)) check_unique(index, name, entries);
    // An index that ignores nulls has no entries for rows whose key is all null.
    size_t expected_entries = rows_.size();
    if (index.flags & kIndexIgnoreNulls)
      for (const auto& [at, values] : rows_)
        if (std::all_of(index.columns.begin(), index.columns.end(),
                        [&row_values = values](const IndexColumn& ic) { return row_values.at(ic.column).is_null(); }))
          --expected_entries;
    if (seen.size() != expected_entries)
      problem(name + ": " + std::to_string(expected_entries - std::min(expected_entries, seen.size())) +
              " rows have no entry");
  }

  bool is_unique(size_t real) const {
    if (table_.real_indexes[real].flags & kIndexUnique) return true;
    return std::any_of(table_.indexes.begin(), table_.indexes.end(), [real](const Index& i) {
      return i.real_index == static_cast<int>(real) && (i.unique || i.primary);
    });
  }

  // Equal keys sit side by side in index order. A key of nulls only is exempt, as
  // Access lets any number of rows leave a unique index's columns empty.
  void check_unique(const RealIndex& index, const std::string& name, const std::vector<EntryBytes>& entries) {
    auto key_of_entry = [](const EntryBytes& e) { return Entry(e).first(index_page::key_length(e, true)); };
    auto all_null = [&](uint32_t at) {
      auto row = rows_.find(at);
      return row != rows_.end() &&
             std::all_of(index.columns.begin(), index.columns.end(),
                         [&](const IndexColumn& ic) { return row->second.at(ic.column).is_null(); });
    };
    for (size_t i = 1; i < entries.size(); ++i) {
      Entry a = key_of_entry(entries[i - 1]), b = key_of_entry(entries[i]);
      if (!std::equal(a.begin(), a.end(), b.begin(), b.end())) continue;
      const uint32_t first = index_page::row_pointer_of(entries[i - 1], true);
      const uint32_t second = index_page::row_pointer_of(entries[i], true);
      if (all_null(second)) continue;
      problem(name + " is unique, but page " + std::to_string(first >> 8) + " row " + std::to_string(first & 0xFF) +
              " and page " + std::to_string(second >> 8) + " row " + std::to_string(second & 0xFF) +
              " have the same key");
    }
  }

  const Database& db_;
  const PageSource& pages_;
  const TableDef& table_;
  const bool system_;
  CheckReport& report_;
  size_t problems_ = 0;
  std::unordered_map<uint32_t, std::vector<FieldValue>> rows_;
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

CheckReport check_database(const Database& database) {
  CheckReport report;
  for (const CatalogEntry& entry : database.catalog()) {
    if (!entry.is(ObjectType::Table)) continue;
    const bool system = entry.is_system();
    ++(system ? report.system_tables : report.tables);
    try {
      TableCheck(database, database.table(entry.name), system, report).run();
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
