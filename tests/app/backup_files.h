#pragma once
// What the backup, scratch-copy and report tests share: files of known bytes, a moment
// named by its local date and time, and a temporary folder of the test's own.

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/fixtures.h"
#include "tests/support/temporary_folder.h"

namespace halvaro::test {

inline void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// The moment whose local date and time are those given (a backup's name shows local
// time), whatever the time zone.
inline std::chrono::system_clock::time_point local_moment(int year, int month, int day, int hour, int minute,
                                                          int second) {
  std::tm parts{};
  parts.tm_year = year - 1900, parts.tm_mon = month - 1, parts.tm_mday = day;
  parts.tm_hour = hour, parts.tm_min = minute, parts.tm_sec = second;
  parts.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&parts));
}

inline std::vector<std::filesystem::path> files_in(const std::filesystem::path& dir) {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) found.push_back(entry.path());
  return found;
}

// Bytes that differ from page to page and within one.
inline std::string patterned(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 4096) & 0xFF);
  return bytes;
}

// A destination of 10,000 bytes, and a temporary folder that is the test's own.
struct ScratchCopyTest : ::testing::Test {
  TempDir original_dir, temp_dir;
  std::filesystem::path original = original_dir.path() / "zelt.mdb";
  TemporaryFolderSetting temporary{temp_dir.path()};
  void SetUp() override { write_file(original, std::string(10000, 'z')); }
};

}  // namespace halvaro::test
