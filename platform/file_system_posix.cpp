#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace halvaro::platform {

std::filesystem::path path_from_utf8(std::string_view text) { return std::filesystem::path(text); }
std::string utf8_of(const std::filesystem::path& path) { return path.string(); }

std::filesystem::path temporary_folder(std::error_code& error) {
  std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  if (error) return {};
  return folder;
}

std::string temporary_folder_setting() {
  const char* named = std::getenv("TMPDIR");
  return named ? named : "/tmp";
}

std::string sqlite_temporary_folder() {
  const char* const folders[] = {std::getenv("SQLITE_TMPDIR"), std::getenv("TMPDIR"), "/var/tmp", "/usr/tmp", "/tmp"};
  for (const char* folder : folders) {
    struct stat info {};
    if (folder && ::stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && ::access(folder, W_OK | X_OK) == 0)
      return folder;
  }
  return ".";
}

bool is_writable(const std::filesystem::path& path) {
  struct stat info {};
  return ::access(path.c_str(), W_OK) == 0 && ::stat(path.c_str(), &info) == 0 && (info.st_mode & 0222) != 0;
}

bool sync_folder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool rename_without_replacing(const std::filesystem::path& from, const std::filesystem::path& to,
                              std::error_code& error) {
  error.clear();
  // link() fails rather than replace a file; a file system without hard links may
  // still rename without replacing.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return true;
  }
  const int link_error = errno;
  if (link_error != EEXIST && ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  error = {link_error == EEXIST || errno == EEXIST ? EEXIST : link_error, std::generic_category()};
  return false;
}

bool replace_by_rename(const std::filesystem::path& from, const std::filesystem::path& to, std::error_code& error) {
  error.clear();
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  error = {errno, std::generic_category()};
  return false;
}

bool held_open_elsewhere(const std::filesystem::path&) { return false; }

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  struct stat first {}, second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace halvaro::platform
