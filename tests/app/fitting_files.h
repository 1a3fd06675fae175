#pragma once
// Fake old and new databases that pass the check before a run: every source query, item
// view and item query for empty values answers (with no rows) with the columns the run reads, every destination
// table has the columns it writes. Built from the same derivation the check uses; the
// runs over the shared fixtures check that derivation against Access-made files.

#include "app/stage_needs.h"
#include "tests/transfers/fake_zelt.h"

namespace halvaro::test {

inline void add_fitting_sources(FakeFile& file) {
  for (const db::Stage* stage : app::stages_of(all_groups())) {
    file.add_result(std::string(stage->source), app::master_columns_read(*stage), {});
    if (!stage->detail) continue;
    app::ItemQueryNeeds needs = app::item_query_needs(stage->detail->query);
    for (const db::FieldEntry& entry : stage->detail->mapping)
      if (!entry.source.empty()) app::add_name(needs.columns, entry.source);
    file.add_result("Select * from [" + needs.view + "]", needs.columns, {});
    file.add_result("Select * from " + needs.view, needs.columns, {});  // as the run's account reads it
    file.add_result(app::item_query_for_empty_values(stage->detail->query), needs.columns, {});
  }
}

inline std::string item_view_text(std::string_view view) { return "Select * from [" + std::string(view) + "]"; }

// Forgets the canned answers of an item view: the view itself and its item queries.
inline void forget_item_view(FakeFile& file, std::string_view view) {
  std::string prefix = "Select * from " + std::string(view) + " where";
  for (auto it = file.results.begin(); it != file.results.end();)
    it = it->first.rfind(prefix, 0) == 0 || it->first == item_view_text(view) || it->first == "Select * from " + std::string(view)
             ? file.results.erase(it)
             : std::next(it);
}

}  // namespace halvaro::test
