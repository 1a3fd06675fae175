#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace halvaro::app {

// Which side of a transfer a database file can be, told by the tables it holds.
enum class DatabaseKind { OldVersion, Version51, Neither, Unreadable };

struct DatabaseKindResult {
  DatabaseKind kind = DatabaseKind::Neither;
  std::string reason;  // for Neither and Unreadable: why, as a clause
};

// The kind of a database holding these tables (names in any letter case). Both
// versions share the claimant, tax-period and partner tables; the invoice, bill-of-entry
// and shipping-bill tables tell them apart.
DatabaseKindResult database_kind(const std::vector<std::string>& table_names);

// Reads the file's catalog and tells its kind; a file that cannot be read as an Access
// database is Unreadable, with the reader's explanation (which names the file).
DatabaseKindResult database_kind_of_file(const std::filesystem::path& path);

}  // namespace halvaro::app
