#pragma once
// In-memory old and new databases shaped by the transfers' own descriptions: every
// destination table has the columns its mapping writes (text unless told otherwise),
// every source query answers with no rows until a test gives it some.

#include <map>
#include <string>

#include "tests/db/fake_store.h"
#include "transfers/transfers.h"

namespace halvaro::test {

inline const std::vector<const db::Group*>& all_groups() {
  static const std::vector<const db::Group*> groups{
      &transfers::claimant_info_group(), &transfers::claimant_tax_period_group(), &transfers::supplier_buyer_group(),
      &transfers::invoices_group(),      &transfers::bill_of_entry_group(),       &transfers::shipping_bill_group()};
  return groups;
}

inline std::string table_of(const db::DestinationOpen& open) {
  return std::string(open.reopen.empty() ? open.first : open.reopen);
}

inline void add_table_for(FakeFile& file, const std::string& name, const std::vector<db::FieldEntry>& mapping,
                          const std::map<std::string, jet::ColumnType>& types) {
  if (file.tables.count(folded(name))) return;
  std::vector<FakeColumn> columns;
  for (const auto& entry : mapping) {
    auto type = types.find(std::string(entry.destination));
    columns.push_back({std::string(entry.destination),
                       type == types.end() ? jet::ColumnType::Text : type->second, 100});
  }
  file.add_table(FakeTable(name, columns));
}

inline void add_destination_tables(FakeFile& file, const std::map<std::string, jet::ColumnType>& types = {}) {
  for (const db::Group* group : all_groups()) {
    for (const db::Stage& stage : group->stages) {
      add_table_for(file, table_of(stage.destination), stage.mapping, types);
      if (stage.destination.first != stage.destination.reopen && !stage.destination.reopen.empty())
        file.add_result(std::string(stage.destination.first), {"InvoiceType"}, {});
      if (stage.detail) add_table_for(file, table_of(stage.detail->destination), stage.detail->mapping, types);
    }
  }
}

inline void add_empty_sources(FakeFile& file) {
  for (const db::Group* group : all_groups()) {
    for (const db::Stage& stage : group->stages) {
      file.add_result(std::string(stage.source), {"x"}, {});
      if (stage.detail) file.add_result("Select * from " + std::string(stage.detail->view.name), {"x"}, {});
    }
  }
}

}  // namespace halvaro::test
