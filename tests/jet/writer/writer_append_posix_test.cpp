// A write the system refuses part-way (a file-size limit, on POSIX): the writer puts
// the file back at its last commit.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "jet/writer/checker.h"
#include "jet/writer/database_writer.h"
#include "tests/jet/writer/writer_rows.h"
#include "tests/support/fixtures.h"

namespace halvaro::jet {
namespace {

using test::TempDir;
using writer_rows::invoice;

// A write that fails (here: the file may not grow past a size limit) undoes every row
// since the last commit, and the writer counts it, so that a caller can tell which of
// its rows were taken back. The file holds exactly the committed rows.
TEST(WriterAppend, AFailedWriteUndoesTheRowsSinceTheLastCommitAndCountsIt) {
  HALVARO_REQUIRE_DATABASE(fixture, "new-empty.mdb");
  TempDir dir;
  auto file = dir.copy_in(fixture);
  WriterOptions options;
  options.commit_rows = 50;
  options.commit_interval = std::chrono::hours(1);
  size_t committed = 0;
  {
    auto w = DatabaseWriter::open(file, options);
    const TableDef& t = w->table("tblInvoiceMtr");
    for (int n = 1; n <= 50; ++n) w->append(t, invoice(*w, t, n));
    ASSERT_EQ(w->commits(), 1u);
    committed = 50;
    // Writes past the limit fail with EFBIG instead of raising SIGXFSZ.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    rlimit limit = before;
    limit.rlim_cur = std::filesystem::file_size(file) + 4096;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    try {
      for (int n = 51; n <= 10000; ++n) w->append(t, invoice(*w, t, n));
      ADD_FAILURE() << "the size limit never stopped a write";
    } catch (const JetError&) {
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(w->rollbacks(), 1u);
    EXPECT_GE(w->commits(), 1u);
    committed = 50 * w->commits();
    w->close();
  }
  auto db = Database::open(file);
  size_t rows = 0;
  db->scan(db->table("tblInvoiceMtr"), [&](std::span<const FieldValue>) { return ++rows, true; });
  EXPECT_EQ(rows, committed);
  EXPECT_TRUE(check_database(*db).ok());
}

}  // namespace
}  // namespace halvaro::jet
