#pragma once
// Reading a whole database once, as a check before acting on it.

#include "jet/catalog/database.h"

namespace halvaro::jet {

// Reads every row of every user table through the verifying scan and throws JetError
// naming the file, the table and the damage at the first fault: for a caller that must
// know the file is whole before it writes anything on its account.
void verify_tables(const Database& database);

}  // namespace halvaro::jet
