#include "platform/file.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/mapping.h"
#include "tests/platform/scratch_folder.h"

namespace halvaro::platform {
namespace {

using Mode = File::Mode;
using FileTest = test::ScratchFolder;

std::string read_text(const File& file, size_t size, uint64_t offset) {
  std::string text(size, '\0');
  std::error_code error;
  text.resize(file.read_at(text.data(), size, offset, error));
  EXPECT_FALSE(error) << error.message();
  return text;
}

File create(const std::filesystem::path& path, std::string_view text) {
  std::error_code error;
  File file = File::open(path, Mode::create_new, error);
  EXPECT_TRUE(file.is_open()) << path << ": " << error.message();
  EXPECT_TRUE(file.write_at(text.data(), text.size(), 0, error)) << error.message();
  return file;
}

TEST_F(FileTest, PositionedReadsAndWritesMoveWholeRangesAndStopAtTheEnd) {
  std::error_code error;
  File file = create(folder() / "data.bin", "0123456789");
  // Past the end: the gap reads as zeros.
  ASSERT_TRUE(file.write_at("tail", 4, 20, error));
  EXPECT_EQ(file.size(error), 24u);
  EXPECT_EQ(read_text(file, 4, 3), "3456");
  EXPECT_EQ(read_text(file, 4, 10), std::string(4, '\0'));
  // Fewer bytes than asked at the end, and none past it, without an error.
  EXPECT_EQ(read_text(file, 10, 20), "tail");
  EXPECT_EQ(read_text(file, 10, 100), "");

  const std::string first = "AAAA", second = "BB", third = "CCCCCC";
  const std::array<std::span<const uint8_t>, 3> parts{
      std::span(reinterpret_cast<const uint8_t*>(first.data()), first.size()),
      std::span(reinterpret_cast<const uint8_t*>(second.data()), second.size()),
      std::span(reinterpret_cast<const uint8_t*>(third.data()), third.size())};
  ASSERT_TRUE(file.write_gathered(parts, 2, error)) << error.message();
  EXPECT_EQ(read_text(file, 14, 0), "01AAAABBCCCCCC");

  ASSERT_TRUE(file.truncate(5, error)) << error.message();
  EXPECT_EQ(file.size(error), 5u);
  EXPECT_EQ(read_text(file, 10, 0), "01AAA");
  EXPECT_TRUE(file.sync_data(error)) << error.message();
  EXPECT_TRUE(file.sync_all(error)) << error.message();
  EXPECT_TRUE(file.is_regular(error));
}

TEST_F(FileTest, OpeningRefusesWhatIsNotAFileToUse) {
  std::error_code error;
  const auto path = folder() / "report.json";
  File first = create(path, "first");
  first.close();

  // Exclusive creation refuses an existing file and leaves it as it was.
  File again = File::open(path, Mode::create_new, error);
  EXPECT_FALSE(again.is_open());
  EXPECT_EQ(error, std::errc::file_exists);
  EXPECT_EQ(read_text(File::open(path, Mode::read, error), 10, 0), "first");

  File missing = File::open(folder() / "missing.mdb", Mode::read, error);
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  // The message is the one POSIX gives, whatever the system.
  EXPECT_EQ(error.message(), std::make_error_code(std::errc::no_such_file_or_directory).message());

  File folder_file = File::open(folder(), Mode::read, error);
  EXPECT_FALSE(folder_file.is_open());
  EXPECT_EQ(error, std::errc::is_a_directory);
}

TEST_F(FileTest, OneWriterAtATime) {
  std::error_code error;
  const auto path = folder() / "new.mdb";
  create(path, "pages").close();
  File writer = File::open(path, Mode::read_write, error);
  ASSERT_TRUE(writer.is_open()) << error.message();
  ASSERT_TRUE(writer.lock_for_writing(error)) << error.message();

  // A second writer is refused: by the lock on POSIX, by the first one's share mode on
  // Windows.
  File second = File::open(path, Mode::read_write, error);
  if (second.is_open()) second.lock_for_writing(error);
  EXPECT_EQ(error, std::errc::device_or_resource_busy);
  // A look at the file is not.
  File look = File::open(path, Mode::peek, error);
  EXPECT_TRUE(look.is_open()) << error.message();

  writer.close();
  second.close();
  File third = File::open(path, Mode::read_write, error);
  ASSERT_TRUE(third.is_open()) << error.message();
  EXPECT_TRUE(third.lock_for_writing(error)) << error.message();
}

TEST_F(FileTest, IdentityNamesTheFileWhateverThePath) {
  std::error_code error;
  std::filesystem::create_directory(folder() / "sub");
  const auto path = folder() / "old.mdb";
  create(path, "old").close();
  create(folder() / "other.mdb", "other").close();

  auto identity_of = [&](const std::filesystem::path& p) {
    FileIdentity identity;
    File file = File::open(p, Mode::peek, error);
    EXPECT_TRUE(file.is_open()) << p << ": " << error.message();
    EXPECT_TRUE(file.identity(identity, error)) << error.message();
    return identity;
  };
  const FileIdentity identity = identity_of(path);
  EXPECT_NE(identity.index, 0u);
  EXPECT_EQ(identity_of(folder() / "sub" / ".." / "." / "old.mdb"), identity);
  EXPECT_NE(identity_of(folder() / "other.mdb"), identity);
  EXPECT_TRUE(same_file(path, folder() / "sub" / ".." / "old.mdb"));
  EXPECT_FALSE(same_file(path, folder() / "other.mdb"));
  EXPECT_FALSE(same_file(path, folder() / "missing.mdb"));
}

// Urdu letters and blanks, in the folder's name and the file's.
TEST_F(FileTest, AUtf8PathWithUrduLettersAndBlanks) {
  std::error_code error;
  const std::filesystem::path sub = folder() / std::filesystem::path(u8"ٹیکس کے ریکارڈ");
  ASSERT_TRUE(std::filesystem::create_directory(sub));
  const std::filesystem::path path = sub / std::filesystem::path(u8"پرانا ڈیٹا بیس.mdb");
  create(path, "Jet").close();

  File file = File::open(path, Mode::read, error);
  ASSERT_TRUE(file.is_open()) << error.message();
  EXPECT_EQ(read_text(file, 3, 0), "Jet");
  // Compared as bytes: the test library prints no std::u8string.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(sub)) {
    const std::u8string name = entry.path().filename().u8string();
    names.emplace_back(name.begin(), name.end());
  }
  EXPECT_EQ(names, std::vector<std::string>{"پرانا ڈیٹا بیس.mdb"});
  EXPECT_TRUE(same_file(path, sub / ".." / std::filesystem::path(u8"ٹیکس کے ریکارڈ") / path.filename()));
}

TEST_F(FileTest, ATemporaryFileLeavesNothingBehind) {
  std::error_code error;
  {
    File file = File::temporary(folder(), "halvaro-rows", error);
    ASSERT_TRUE(file.is_open()) << error.message();
    ASSERT_TRUE(file.write_at("spooled", 7, 4096, error)) << error.message();
    EXPECT_EQ(read_text(file, 7, 4096), "spooled");
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder()));
}

TEST_F(FileTest, AMappingReadsTheFileAndLetsGoWithoutLosingIt) {
  std::error_code error;
  std::string bytes(3 * 65536, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const auto path = folder() / "mapped.mdb";
  create(path, bytes).close();

  File file = File::open(path, Mode::read, error);
  ReadOnlyMapping mapping = ReadOnlyMapping::map(file, bytes.size(), error);
  ASSERT_NE(mapping.data(), nullptr) << error.message();
  ASSERT_EQ(mapping.size(), bytes.size());
  const std::string_view seen(reinterpret_cast<const char*>(mapping.data()), mapping.size());
  EXPECT_EQ(seen, bytes);
  mapping.let_go(100, 70000);  // not on page boundaries
  mapping.let_go(0, bytes.size());
  EXPECT_EQ(seen, bytes);
}

}  // namespace
}  // namespace halvaro::platform
