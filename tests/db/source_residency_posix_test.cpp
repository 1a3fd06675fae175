// The source file is mapped, and the pages read stay resident until they are let go
// of now and then. Once a run has verified the source, it reads the file no more, so
// the store lets go of them all then instead of holding them for the whole run. The
// residency is read from Linux's /proc/self/smaps.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "db/jet_store.h"
#include "tests/support/fixtures.h"

namespace halvaro::test {
namespace {

// KiB of `file` resident in this process's mappings of it (nullopt: no /proc here).
std::optional<long> resident_kib_of(const std::filesystem::path& file) {
  std::ifstream smaps("/proc/self/smaps");
  if (!smaps) return std::nullopt;
  const std::string name = std::filesystem::canonical(file).string();
  long kib = 0;
  bool in_file = false;
  for (std::string line; std::getline(smaps, line);) {
    std::istringstream fields(line);
    std::string first;
    fields >> first;
    if (first.find('-') != std::string::npos && first.back() != ':') {  // a mapping's header
      const auto path = line.find('/');
      in_file = path != std::string::npos && line.substr(path) == name;
    } else if (in_file && first == "Rss:") {
      long value = 0;
      fields >> value;
      kib += value;
    }
  }
  return kib;
}

TEST(SourceResidency, VerifyingTheSourceLetsGoOfWhatReadingMappedIn) {
  HALVARO_REQUIRE_DATABASE(old_small, "old-small.mdb");
  TempDir dir;
  const std::filesystem::path file = dir.copy_in(old_small);
  auto source = db::jet_store_opener()(file.string(), db::Access::ReadOnly);
  source->begin_verify();
  ASSERT_GT(source->select("Select * from tblSupplierBuyer")->row_count(), 0u);
  const std::optional<long> after_reading = resident_kib_of(file);
  if (!after_reading) GTEST_SKIP() << "no /proc/self/smaps to read residency from";
  EXPECT_GT(*after_reading, 0) << "reading a small file keeps its pages until the next let-go";

  source->verify([](uint64_t, uint64_t) {});
  EXPECT_EQ(resident_kib_of(file), 0L);
  // The pages are still there to be read again.
  EXPECT_GT(source->select("Select * from tblClaimantInfo")->row_count(), 0u);
}

}  // namespace
}  // namespace halvaro::test
