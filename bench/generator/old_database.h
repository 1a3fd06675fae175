#pragma once
// An old-version database with generated rows: the schema and views of
// examples/old-version.sql and N invoices (about five items each) with, in proportion,
// claimants, tax periods, partners, bills of entry and shipping bills (about four
// items each). The rows are the same for the same N.

#include <filesystem>

namespace halvaro::bench {

// Writes the database to `out` (which must not exist) and returns the rows written.
// Throws what the engine's builder and writer throw.
long write_old_database(long invoices, const std::filesystem::path& out);

}  // namespace halvaro::bench
