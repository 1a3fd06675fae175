#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "platform/file.h"
#include "platform/process.h"
#include "tests/platform/scratch_folder.h"

namespace halvaro::platform {
namespace {

using FileSystemTest = test::ScratchFolder;

std::string read_all(const std::filesystem::path& path) {
  std::error_code error;
  File file = File::open(path, File::Mode::read, error);
  std::string text(64, '\0');
  text.resize(file.read_at(text.data(), text.size(), 0, error));
  return text;
}

void write(const std::filesystem::path& path, std::string_view text) {
  std::error_code error;
  File file = File::open(path, File::Mode::create_new, error);
  ASSERT_TRUE(file.is_open()) << error.message();
  ASSERT_TRUE(file.write_at(text.data(), text.size(), 0, error));
}

TEST_F(FileSystemTest, ReplaceByRenameTakesTheOtherFilesPlace) {
  std::error_code error;
  const auto target = folder() / "new.mdb";
  write(target, "old contents");
  write(folder() / "new.mdb.part", "new contents");
  ASSERT_TRUE(replace_by_rename(folder() / "new.mdb.part", target, error)) << error.message();
  EXPECT_EQ(read_all(target), "new contents");
  EXPECT_FALSE(std::filesystem::exists(folder() / "new.mdb.part"));

  EXPECT_FALSE(replace_by_rename(folder() / "missing", target, error));
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_EQ(read_all(target), "new contents");
}

TEST_F(FileSystemTest, RenameWithoutReplacingNeverTakesATakenName) {
  std::error_code error;
  const auto target = folder() / "backup.mdb";
  write(target, "earlier backup");
  write(folder() / "copy.part", "new copy");
  EXPECT_FALSE(rename_without_replacing(folder() / "copy.part", target, error));
  EXPECT_EQ(error, std::errc::file_exists);
  EXPECT_EQ(read_all(target), "earlier backup");
  EXPECT_EQ(read_all(folder() / "copy.part"), "new copy");

  const auto free_name = folder() / "backup.1.mdb";
  ASSERT_TRUE(rename_without_replacing(folder() / "copy.part", free_name, error)) << error.message();
  EXPECT_EQ(read_all(free_name), "new copy");
  EXPECT_FALSE(std::filesystem::exists(folder() / "copy.part"));
}

// A text given as UTF-8 (a command line, a window's field) names the file whose name
// has those letters, and gives them back unchanged.
TEST_F(FileSystemTest, Utf8TextAndPathsRoundTrip) {
  const std::string name = "\xD9\xB9\xDB\x8C\xDA\xA9\xD8\xB3 r\xC3\xA9sum\xC3\xA9.mdb";  // ٹیکس résumé.mdb
  const std::filesystem::path path = folder() / path_from_utf8(name);
  EXPECT_EQ(path.filename(), std::filesystem::path(u8"\u0679\u06CC\u06A9\u0633 r\u00E9sum\u00E9.mdb"));
  EXPECT_EQ(utf8_of(path.filename()), name);
  write(path, "Jet");
  EXPECT_EQ(read_all(folder() / path_from_utf8(utf8_of(path.filename()))), "Jet");
}

TEST_F(FileSystemTest, AHoldIsAnotherOpenHandleNeverAFileAlone) {
  const auto lock = folder() / "old.ldb";
  EXPECT_FALSE(held_open_elsewhere(lock));  // not there
  write(lock, "");
  EXPECT_FALSE(held_open_elsewhere(lock));  // left behind by a program that ended
  std::error_code error;
  const File holder = File::open(lock, File::Mode::peek, error);
  ASSERT_TRUE(holder.is_open()) << error.message();
#ifdef _WIN32
  EXPECT_TRUE(held_open_elsewhere(lock));
#else
  EXPECT_FALSE(held_open_elsewhere(lock));  // POSIX keeps no share modes to tell by
#endif
}

TEST(Process, TellsARunningProcessFromOneThatEnded) {
  EXPECT_TRUE(process_runs(process_id()));
  // Process ids are small positive numbers on both systems; this one is far past any.
  EXPECT_FALSE(process_runs(0x7ffffff0));
}

TEST_F(FileSystemTest, WritableFilesAndFolders) {
  const auto path = folder() / "old.mdb";
  write(path, "Jet");
  EXPECT_TRUE(is_writable(path));
  EXPECT_TRUE(is_writable(folder()));
  EXPECT_FALSE(is_writable(folder() / "missing.mdb"));
  std::filesystem::permissions(path, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  EXPECT_FALSE(is_writable(path));
  // Windows removes no read-only file: the folder could not be cleared.
  std::filesystem::permissions(path, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  sync_folder(folder());  // no result to see; it must not fail on an ordinary folder
}

TEST(CodePage, ConvertsWithTheSystemsTablesAndSaysWhenItHasNone) {
  const uint8_t cyrillic[] = {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2};  // "Привет" in code page 1251
  EXPECT_EQ(code_page_to_utf8(cyrillic, 1251), std::optional<std::string>("Привет"));
  const uint8_t japanese[] = {0x93, 0xFA, 0x96, 0x7B};  // "日本" in code page 932
  EXPECT_EQ(code_page_to_utf8(japanese, 932), std::optional<std::string>("日本"));
  EXPECT_EQ(code_page_to_utf8(cyrillic, 12345), std::nullopt);
}

}  // namespace
}  // namespace halvaro::platform
