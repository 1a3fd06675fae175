#pragma once
// Folders, names and permissions.

#include <filesystem>
#include <string>
#include <system_error>

namespace halvaro::platform {

// The folder for this program's temporary files: $TMPDIR (else /tmp) on POSIX, the
// folder GetTempPathW names on Windows. Fails when it is missing or not a folder.
std::filesystem::path temporary_folder(std::error_code& error);
// How a user names that folder in a message: "$TMPDIR" on POSIX, "%TEMP%" on Windows,
// with its value.
std::string temporary_folder_setting();

// The folder SQLite's own system layer puts its temporary files in (os_unix.c: the
// first writable of SQLITE_TMPDIR, TMPDIR, /var/tmp, /usr/tmp, /tmp, else "."; os_win.c:
// GetTempPathW), so that a message about its scratch files can name it.
std::string sqlite_temporary_folder();

// Whether the user may write to the file or folder. A file marked read-only counts as
// not writable even for the superuser, who may write anything: it is meant to stay
// unchanged.
bool is_writable(const std::filesystem::path& path);

// Makes the names in `folder` (a file created or renamed there) as durable as the
// files' contents. Does nothing where the system has no such step (Windows).
void sync_folder(const std::filesystem::path& folder);

// Moves `from` onto `to`, replacing a file there, in one step.
bool replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);

// Whether the two paths name one file (links, another spelling, another route to it).
// False when either cannot be opened.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace halvaro::platform
