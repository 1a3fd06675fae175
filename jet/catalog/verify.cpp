#include "jet/catalog/verify.h"

#include <algorithm>

namespace halvaro::jet {

namespace {

constexpr uint64_t kRowsPerProgress = 4096;

}  // namespace

void verify_tables(const Database& database, const VerifyProgress& progress) {
  uint64_t recorded = 0, read = 0;
  if (progress)
    for (const std::string& name : database.table_names()) recorded += database.table(name).row_count;
  for (const std::string& name : database.table_names()) {
    database.check_rows(database.table(name), [&] {
      // A definition's count can be behind its rows: the total never shows less than read.
      if (progress && ++read % kRowsPerProgress == 0) progress(read, std::max(read, recorded));
    });
  }
}

}  // namespace halvaro::jet
