#pragma once
// A source of the query layer's scratch tests: a table and a view over it.

#include <memory>
#include <string>
#include <vector>

#include "sql/query_engine.h"

namespace halvaro::sql {

// Enough rows that a 64 KiB cache cannot hold the table, its evaluated view and
// the item query's index: the pages must go to the file and come back.
inline std::shared_ptr<MemorySource> many_invoices() {
  auto source = std::make_shared<MemorySource>();
  std::vector<std::vector<FieldValue>> rows;
  for (int64_t n = 0; n < 20000; ++n) {
    rows.push_back({"A" + std::to_string(n % 7), "INV-" + std::to_string(n), FieldValue(DateTime{45000.0 + double(n % 300)}),
                    FieldValue(n), FieldValue(Currency{n * 10000}),
                    n % 11 == 0 ? FieldValue() : FieldValue("Supplier name number " + std::to_string(n % 500))});
  }
  source->add_table({"tblItem",
                     {{"StRegNo", Kind::Text},
                      {"InvoiceNo", Kind::Text},
                      {"InvoiceDate", Kind::Date},
                      {"ItemSerialNo", Kind::Long},
                      {"Value", Kind::Currency},
                      {"Name", Kind::Text}}},
                    std::move(rows));
  source->add_query("VwItem", "SELECT * FROM tblItem WHERE Value >= 0 ORDER BY InvoiceNo");
  return source;
}

}  // namespace halvaro::sql
