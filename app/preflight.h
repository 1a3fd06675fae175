#pragma once
// The check of both files before a run writes anything: the destination must have every
// table and column the mappings write, each able to hold its default; the source must
// have every table and view the run reads, each one evaluable, with every column the
// mappings and item queries read.

#include <memory>
#include <string>
#include <vector>

#include "app/messages.h"
#include "db/base_account.h"
#include "db/copy_procedure.h"
#include "db/store.h"

namespace halvaro::app {

struct FileCheck {
  std::vector<std::string> destination_problems;  // e.g. "table tblInvoiceMtr is missing"
  std::vector<std::string> source_problems;
  // What kept the source from being read at all (its scratch files in the temporary
  // folder, a damaged page) rather than what does not fit.
  std::vector<std::string> reading_problems;
  // Each stage's master rows, in run order (null where the query failed); the check
  // of rows already in the destination reads them.
  std::vector<std::shared_ptr<const db::ResultView>> masters;
  // The tables behind the source's views, with their rows that no view delivers: the
  // run cannot move those, and tells so before it writes.
  db::BaseAccount base;

  bool fit() const { return destination_problems.empty() && source_problems.empty() && reading_problems.empty(); }
};

FileCheck check_files(db::Store& source, db::Store& destination, const std::vector<const db::Group*>& groups);

// The one message that refuses a run, naming every problem found.
Message unfit_files_message(const FileCheck& check, const std::string& source_path,
                            const std::string& destination_path);

}  // namespace halvaro::app
