#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/code_page.h"
#include "platform/file.h"
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
