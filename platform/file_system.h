#pragma once
// Folders, names and permissions.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace halvaro::platform {

// A path from UTF-8 text, and a path's UTF-8 text. On Windows a std::filesystem::path
// made from a char string takes the bytes as the C library's code page, so every
// path the program is given as text becomes one here.
std::filesystem::path path_from_utf8(std::string_view text);
std::string utf8_of(const std::filesystem::path& path);

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
bool sync_folder(const std::filesystem::path& folder);

// Moves `from` onto `to`, replacing a file there, in one step.
bool replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error);

// Gives the closed file `from` the name `to` in one step, without replacing a file
// there: false with file_exists when `to` is taken. `from` is gone afterwards. Both
// names are in one folder.
bool rename_without_replacing(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::error_code& error);

// Whether another process holds the file open, told where the system can tell: on
// Windows, by whether it can be opened with no sharing at all; never on POSIX, which
// has no such holds. False when the file is not there.
bool held_open_elsewhere(const std::filesystem::path& path);

// Whether the two paths name one file (links, another spelling, another route to it).
// False when either cannot be opened.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace halvaro::platform
