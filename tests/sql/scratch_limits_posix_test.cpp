// The query layer's scratch files seen from the process's open files (/proc/self/fd):
// no name in the folder while in use, and none open once the engine is gone.

#include <filesystem>
#include <string>
#include <vector>

#include "sql/query_engine.h"
#include "tests/sql/many_invoices.h"

#include <gtest/gtest.h>

namespace halvaro::sql {
namespace {

// Files this process has open that SQLite made as temporary files.
std::vector<std::string> open_scratch_files() {
  std::vector<std::string> out;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(entry.path(), error).string();
    if (!error && target.find("etilqs_") != std::string::npos) out.push_back(target);
  }
  return out;
}

// The scratch database goes to a file, which no longer has a name in the folder.
TEST(ScratchLimits, TheScratchDatabaseHasNoNameInTheFolder) {
  ScratchLimits disk;
  disk.cache_kib = 64;
  disk.result_memory_rows = 100;
  QueryEngine bounded(many_invoices(), disk);
  EXPECT_EQ(bounded.execute("SELECT * FROM VwItem").rows.size(), 20000u);
  auto files = open_scratch_files();
  ASSERT_FALSE(files.empty()) << "the scratch database never reached its file";
  for (const auto& file : files) EXPECT_NE(file.find(" (deleted)"), std::string::npos) << file;
}

TEST(ScratchLimits, ClosingTheEngineClosesItsFiles) {
  {
    ScratchLimits disk;
    disk.cache_kib = 64;
    QueryEngine engine(many_invoices(), disk);
    EXPECT_EQ(engine.execute("SELECT Count(*) FROM VwItem").rows.at(0).at(0), FieldValue(int64_t{20000}));
    EXPECT_FALSE(open_scratch_files().empty());
  }
  EXPECT_TRUE(open_scratch_files().empty());
}

}  // namespace
}  // namespace halvaro::sql
