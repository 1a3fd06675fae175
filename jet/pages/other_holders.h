#pragma once
// Another program's hold on a database file: the file open there (Access, the tax
// application) or, beside it, the lock file Access keeps while it has the database
// open (NAME.ldb; NAME.laccdb for an .accdb).

#include <filesystem>
#include <string>

namespace halvaro::jet {

std::filesystem::path access_lock_file(const std::filesystem::path& database);

// What a refusal says: the file, and that the other program must close it first.
std::string held_elsewhere_message(const std::filesystem::path& database);

// Throws JetError (held_elsewhere_message) when another program holds the database's
// lock file open. A lock file nobody holds is what a program that crashed leaves
// behind: it is no hold, and stays as it is.
void refuse_if_lock_file_held(const std::filesystem::path& database);

}  // namespace halvaro::jet
