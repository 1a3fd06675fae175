// Derives the General sort order's codes of every UTF-16 code unit from the
// sort-order fixture and prints them as runs for jet/indexes/general_sort_runs.inc:
//
//   derive_general_table FIXTURES/sort-order/general.mdb > jet/indexes/general_sort_runs.inc
//
// Each row of the fixture holds one character, so its entry can be read off the key
// of the character alone: every entry form the key's bytes allow is tried, and the
// first with which our encoder reproduces all three of the row's keys (alone,
// between "a" and "b" descending, twice after "A") is taken. A character beyond
// U+FFFF is two code units; the pair's key is split between them the same way.
// The fixture samples pairs only, so the codes of the surrogate units between two
// sampled ones are filled in by counting, where the two sampled ends agree with it.
// Units left without codes are written as unknown; the encoder refuses them. The
// output depends on the fixture alone: running again gives the same file. A summary
// goes to stderr.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "jet/indexes/index_key.h"
#include "tools/sort_fixture.h"

using namespace halvaro;
using namespace halvaro::jet;
using halvaro::tools::FixtureRow;

namespace {

using Table = std::map<char16_t, SortCodes>;

std::vector<uint8_t> key_of(const std::u16string& text, bool ascending, const SortCodeLookup& lookup) {
  KeyBytes key{static_cast<uint8_t>(ascending ? 0x7F : 0x80)};
  append_general_text(key, text, ascending, lookup);
  return key;
}

SortCodeLookup lookup_in(const Table& table) {
  return [&table](char16_t unit) {
    auto it = table.find(unit);
    return it == table.end() ? SortCodes{CodeKind::Unknown} : it->second;
  };
}

// Whether `table` gives the row's three keys as the fixture holds them.
bool reproduces(const FixtureRow& row, const Table& table) {
  try {
    const auto lookup = lookup_in(table);
    return key_of(row.alone, true, lookup) == row.alone_key && key_of(row.between, false, lookup) == row.between_key &&
           key_of(row.twice, true, lookup) == row.twice_key;
  } catch (const ValueError&) {
    return false;  // a character without codes
  }
}

std::string hex(const std::vector<uint8_t>& bytes, size_t from, size_t to) {
  std::string s;
  char b[3];
  for (size_t i = from; i < to && i < bytes.size(); ++i) {
    std::snprintf(b, sizeof b, "%02X", bytes[i]);
    s += b;
  }
  return s;
}

// The sections of an ascending key (flag byte first): sort bytes up to the first
// 0x01, accent codes up to the next 0x01 or the closing 0x00.
struct Sections {
  std::vector<uint8_t> sort, extra;
  std::optional<uint8_t> unprintable;  // the code of a lone unprintable entry
};

Sections sections_of(const std::vector<uint8_t>& key) {
  Sections s;
  size_t i = 1;
  while (i < key.size() && key[i] != 0x01) s.sort.push_back(key[i++]);
  ++i;
  while (i + 1 < key.size() && key[i] != 0x01) s.extra.push_back(key[i++]);
  // One unprintable character: three more ends, its position (0x8007), 0x06, code.
  if (key.size() >= 5 && key[key.size() - 3] == 0x06) s.unprintable = key[key.size() - 2];
  return s;
}

std::optional<SortCodes> parsed(const std::string& text) {
  try {
    return parse_sort_codes(text);
  } catch (const std::invalid_argument&) {
    return std::nullopt;  // more bytes than an entry holds
  }
}

// The descending key of the text between "a" and "b", turned ascending.
std::vector<uint8_t> ascending_between(const FixtureRow& row) {
  std::vector<uint8_t> ascending{0x7F};
  for (size_t i = 1; i + 1 < row.between_key.size(); ++i) ascending.push_back(static_cast<uint8_t>(~row.between_key[i]));
  return ascending;
}

// The sort bytes the character has between "a" and "b" (a blank alone has none: a
// key ignores trailing blanks).
std::string sort_between(const FixtureRow& row, const Table& table) {
  if (!table.count('a') || !table.count('b')) return {};
  const Sections s = sections_of(ascending_between(row));
  const size_t before = table.at('a').sort_size, after = table.at('b').sort_size;
  if (s.sort.size() < before + after) return {};
  return hex(s.sort, before, s.sort.size() - after);
}

// What the character adds to the accent code of the "a" before it (placeholder 2).
std::string modifier_between(const FixtureRow& row) {
  const Sections s = sections_of(ascending_between(row));
  if (s.extra.size() != 1 || s.extra[0] <= 2) return {};
  return hex({static_cast<uint8_t>(s.extra[0] - 2)}, 0, 1);
}

// The entries a character's key could come from, most likely first.
std::vector<SortCodes> candidates(const FixtureRow& row, const Table& table) {
  const Sections s = sections_of(row.alone_key);
  const std::string sort = hex(s.sort, 0, s.sort.size()), extra = hex(s.extra, 0, s.extra.size());
  std::vector<std::string> texts{"S" + sort, "I" + sort + "," + extra, "S" + sort_between(row, table)};
  if (s.unprintable) texts.push_back("U" + hex({*s.unprintable}, 0, 1));
  if (s.extra.size() == 1) texts.push_back("P" + extra);
  // A modifier alone leaves no trace; after "a" it raises the accent placeholder.
  const std::string modifier = modifier_between(row);
  if (!modifier.empty()) texts.push_back("P" + modifier);
  texts.push_back("Z" + sort + "," + extra + ",");
  texts.push_back("Z" + sort + "," + extra + ",1");
  texts.push_back("X");
  std::vector<SortCodes> out;
  for (const auto& t : texts)
    if (auto c = parsed(t)) out.push_back(*c);
  return out;
}

// Tries each entry for `unit`; keeps the first with which the row comes out right.
bool settle(char16_t unit, const FixtureRow& row, Table& table, bool whole_row) {
  for (const SortCodes& c : candidates(row, table)) {
    table[unit] = c;
    if (whole_row ? reproduces(row, table)
                  : key_of(row.alone, true, lookup_in(table)) == row.alone_key)
      return true;
  }
  table.erase(unit);
  return false;
}

// A pair's key split between its two units. Its sort bytes may hold a 0x01 (U+DBFF
// has B4 01), so the accent codes are what follows the last one. Each unit takes
// one position, with sort bytes and an accent code; the even cut comes first, and a
// unit met in an earlier pair must keep its codes.
bool settle_pair(const FixtureRow& row, Table& table) {
  const char16_t high = row.alone[0], low = row.alone[1];
  const auto& key = row.alone_key;
  const auto last_end = std::find(key.rbegin(), key.rend(), 0x01);
  if (key.size() < 3 || last_end == key.rend()) return false;
  const size_t extra_at = static_cast<size_t>(key.rend() - last_end);
  const std::vector<uint8_t> sort(key.begin() + 1, key.begin() + static_cast<long>(extra_at) - 1),
      extra(key.begin() + static_cast<long>(extra_at), key.end() - 1);
  std::vector<std::pair<size_t, size_t>> cuts;
  for (size_t cut = 1; cut < sort.size(); ++cut)
    for (size_t extra_cut = 1; extra_cut < extra.size(); ++extra_cut) cuts.emplace_back(cut, extra_cut);
  std::stable_sort(cuts.begin(), cuts.end(), [&](const auto& a, const auto& b) {
    auto off = [&](const std::pair<size_t, size_t>& c) {
      return std::abs(static_cast<long>(2 * c.first) - static_cast<long>(sort.size())) +
             std::abs(static_cast<long>(2 * c.second) - static_cast<long>(extra.size()));
    };
    return off(a) < off(b);
  });
  const Table before = table;
  for (const auto& [cut, extra_cut] : cuts) {
    auto h = parsed("I" + hex(sort, 0, cut) + "," + hex(extra, 0, extra_cut));
    auto l = parsed("I" + hex(sort, cut, sort.size()) + "," + hex(extra, extra_cut, extra.size()));
    if (!h || !l) continue;
    if (before.count(high) && !(before.at(high) == *h)) continue;
    if (before.count(low) && !(before.at(low) == *l)) continue;
    table[high] = *h;
    table[low] = *l;
    if (reproduces(row, table)) return true;
    table = before;
  }
  return false;
}

// Fills the surrogate units between two sampled ones of the same half, when the
// later one's codes are the earlier one's counted on by their distance.
void fill_between_samples(Table& table, char16_t first, char16_t last) {
  std::optional<char16_t> previous;
  std::optional<RunStep> previous_step;
  for (uint32_t unit = first; unit <= last; ++unit) {
    auto it = table.find(static_cast<char16_t>(unit));
    if (it == table.end()) continue;
    if (previous) {
      const SortCodes& from = table.at(*previous);
      const auto distance = static_cast<uint32_t>(unit - *previous);
      for (RunStep step : {RunStep::CountPastMarks, RunStep::Count})
        if (advance_in_run(from, step, distance) == it->second) {
          for (uint32_t u = *previous + 1u; u < unit; ++u)
            table[static_cast<char16_t>(u)] = advance_in_run(from, step, u - *previous);
          previous_step = step;
          break;
        }
    }
    previous = static_cast<char16_t>(unit);
  }
  // Past the last sample, the count goes on as it went before it.
  if (previous && previous_step)
    for (uint32_t u = *previous + 1u; u <= last; ++u)
      table[static_cast<char16_t>(u)] = advance_in_run(table.at(*previous), *previous_step, u - *previous);
}

struct Run {
  char16_t first;
  RunStep step;
  SortCodes codes;
};

std::vector<Run> runs_of(const std::vector<SortCodes>& units) {
  std::vector<Run> runs;
  for (uint32_t u = 0; u < units.size();) {
    RunStep step = RunStep::Same;
    if (u + 1 < units.size())
      for (RunStep s : {RunStep::Same, RunStep::CountPastMarks, RunStep::Count})
        if (advance_in_run(units[u], s, 1) == units[u + 1]) {
          step = s;
          break;
        }
    uint32_t end = u + 1;
    while (end < units.size() && advance_in_run(units[u], step, end - u) == units[end]) ++end;
    runs.push_back({static_cast<char16_t>(u), step, units[u]});
    u = end;
  }
  return runs;
}

const char* step_name(RunStep step) {
  switch (step) {
    case RunStep::Same: return "RunStep::Same";
    case RunStep::Count: return "RunStep::Count";
    case RunStep::CountPastMarks: return "RunStep::CountPastMarks";
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: derive_general_table general.mdb > jet/indexes/general_sort_runs.inc\n";
    return 2;
  }
  std::vector<FixtureRow> rows;
  try {
    rows = tools::read_sort_fixture(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << argv[1] << ": " << e.what() << "\n";
    return 1;
  }

  // The letters around the others first ("a", "b", "A"), from their keys alone.
  Table table;
  for (const FixtureRow& row : rows)
    if (row.code == 'a' || row.code == 'b' || row.code == 'A') settle(static_cast<char16_t>(row.code), row, table, false);
  size_t unsettled = 0;
  for (const FixtureRow& row : rows) {
    const bool ok = row.alone.size() == 1 ? settle(row.alone[0], row, table, true)
                    : row.alone.size() == 2 ? settle_pair(row, table)
                                            : false;
    if (!ok) {
      std::fprintf(stderr, "no entry reproduces the keys of U+%04X\n", row.code);
      ++unsettled;
    }
  }
  fill_between_samples(table, 0xD800, 0xDBFF);
  fill_between_samples(table, 0xDC00, 0xDFFF);

  std::vector<SortCodes> units(0x10000, SortCodes{CodeKind::Unknown});
  for (const auto& [unit, codes] : table) units[unit] = codes;
  const std::vector<Run> runs = runs_of(units);

  // The runs as the encoder reads them must give every key of the fixture.
  Table expanded;
  for (size_t i = 0; i < runs.size(); ++i) {
    const uint32_t end = i + 1 < runs.size() ? runs[i + 1].first : 0x10000;
    for (uint32_t u = runs[i].first; u < end; ++u)
      expanded[static_cast<char16_t>(u)] = advance_in_run(runs[i].codes, runs[i].step, u - runs[i].first);
  }
  size_t wrong = 0;
  for (const FixtureRow& row : rows) wrong += !reproduces(row, expanded);
  size_t unknown = 0;
  for (uint32_t u = 0; u < units.size(); ++u)
    if (units[u].kind == CodeKind::Unknown) {
      if (u < 0xD800 || u > 0xDFFF) std::fprintf(stderr, "no codes: U+%04X\n", u);
      ++unknown;
    }
  std::cerr << rows.size() << " rows, " << unsettled << " unsettled, " << wrong << " not reproduced by the runs; "
            << runs.size() << " runs, " << unknown << " units without codes\n";
  if (unsettled || wrong) return 1;

  std::cout << "// Generated by tools/derive_general_table from the sort-order fixture\n"
               "// (sort-order/general.mdb): the General sort order's codes of every UTF-16 code\n"
               "// unit, as runs of units (entry forms and steps: jet/indexes/sort_codes.h).\n"
               "// Do not edit; regenerate with\n"
               "//   build/tools/derive_general_table FIXTURES/sort-order/general.mdb\n"
               "//     > jet/indexes/general_sort_runs.inc\n";
  for (const Run& run : runs) {
    char first[16];
    std::snprintf(first, sizeof first, "0x%04X", static_cast<unsigned>(run.first));
    std::cout << "{" << first << ", " << step_name(run.step) << ", \"" << sort_codes_text(run.codes) << "\"},\n";
  }
  return 0;
}
