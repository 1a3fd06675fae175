#pragma once
// The account of the tables behind the views a run reads: every row of each, delivered
// by one of those views (and then accounted for with the view's rows) or read by none,
// with why. A row no view reads never reaches a transfer, so the run did not move it.

#include <string>
#include <vector>

#include "db/copy_procedure.h"
#include "db/listed_rows.h"
#include "db/source_account.h"
#include "db/store.h"

namespace halvaro::db {

struct BaseTableAccount {
  std::string name;  // e.g. "tblInvoice"
  std::vector<std::string> views;  // that read it
  size_t rows = 0;
  size_t read_by_views = 0;
  ListedRows not_read{};  // by the key columns of the first view reading it; reason "not read by any view: ..."
};

struct BaseAccount {
  std::vector<BaseTableAccount> tables;
  // What the rows not read hold, per claimant and tax period: appended 0, so that the
  // difference shows where they belong.
  std::vector<TotalLine> totals;
  std::string error;  // the account could not be made (the rows of the tables are unknown)

  size_t not_read() const;
  // A line per row not read ("tblInvoice [InvoiceNo 7]: not read by any view: ..."), at
  // most `limit` less `shown` of them (`shown` counts them on), then a line per table
  // telling how many more it holds; first, the error, if any.
  void lines(std::vector<std::string>& out, size_t& shown, size_t limit) const;
};

// Reads the account from the source, before anything is written: the tables the views of
// `groups` read, with their rows that no view delivers. A store that cannot tell gives an
// empty account.
BaseAccount account_base_tables(const std::vector<const Group*>& groups, Store& source);

}  // namespace halvaro::db
