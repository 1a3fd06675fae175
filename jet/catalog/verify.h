#pragma once
// Reading a whole database once, as a check before acting on it.

#include <cstdint>
#include <functional>

#include "jet/catalog/database.h"

namespace halvaro::jet {

// Reads every row of every user table through the verifying scan and throws JetError
// naming the file, the table and the damage at the first fault: for a caller that must
// know the file is whole before it writes anything on its account. `progress` hears,
// every few thousand rows, the rows read and the rows the table definitions record.
using VerifyProgress = std::function<void(uint64_t rows_read, uint64_t rows_recorded)>;
void verify_tables(const Database& database, const VerifyProgress& progress = {});

}  // namespace halvaro::jet
