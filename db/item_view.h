#pragma once
// The item view of a master/detail stage as the account reads it.

#include <string>

#include "db/copy_procedure.h"
#include "db/row_ledger.h"
#include "db/store.h"

namespace halvaro::db {

// Only the columns that name a row, are summed or are compared by the item query: rows
// alike in all of them are alike for the account, and reading less is cheaper. A view
// without one of them is read whole; a view that cannot be read gives the reason.
SourceRead read_item_view(const DetailCopy& detail, Store& source);

// The statement read_item_view tries first: those columns of the view.
std::string item_view_statement(const DetailCopy& detail);

}  // namespace halvaro::db
