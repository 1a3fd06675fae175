// A whole transfer run, end to end: an old-version database into a fresh copy of the
// empty 5.1 database, through the same run the window and the command line use.
//
//   bench_transfer_medium [OLD.mdb [NEW-EMPTY.mdb]]
//
// Defaults to the shared fixtures old-medium.mdb and new-empty.mdb. Prints the run's
// result, the rows appended, seconds, rows per second, processor time and the peak
// resident memory.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/transfer_run.h"
#include "bench/process_usage.h"
#include "jet/catalog/database.h"
#include "platform/process.h"

using namespace halvaro;
namespace fs = std::filesystem;

namespace {

class QuietSink final : public app::MessageSink {
 public:
  void show(const app::Message& message) override {
    std::printf("message: %s\n", message.text.c_str());
    for (const auto& line : message.details) std::printf("  %s\n", line.c_str());
  }
};

const std::vector<std::string> kTables{"tblClaimantInfo",      "tblClaimantTaxPeriod", "tblSupplierBuyer",
                                       "tblInvoiceMtr",        "tblInvoiceDetail",     "tblBillOfEntryMtr",
                                       "tblBillofEntrydetail", "tblShippingBillmtr",   "tblShippingBilldetail"};

uint64_t rows_in(const fs::path& file) {
  auto db = jet::Database::open(file);
  uint64_t rows = 0;
  for (const auto& name : kTables) {
    db->scan(db->table(name), [&](auto) {
      ++rows;
      return true;
    });
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  fs::path fixtures = fs::path(HALVARO_BENCH_FIXTURES);
  fs::path source = argc > 1 ? fs::path(argv[1]) : fixtures / "old-medium.mdb";
  fs::path empty = argc > 2 ? fs::path(argv[2]) : fixtures / "new-empty.mdb";
  fs::path dir = fs::temp_directory_path() / ("halvaro-bench-" + std::to_string(platform::process_id()));
  fs::create_directories(dir);
  fs::path destination = dir / "destination.mdb";
  fs::copy_file(empty, destination, fs::copy_options::overwrite_existing);
  fs::permissions(destination, fs::perms::owner_write, fs::perm_options::add);
  uint64_t before = rows_in(destination);

  QuietSink sink;
  app::TransferRun run(sink);
  auto start = std::chrono::steady_clock::now();
  auto outcome = run.run(source.string(), destination.string());
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  uint64_t moved = rows_in(destination) - before;
  const bench::Usage usage = bench::own_usage();
  std::printf("source       %s\n", source.string().c_str());
  std::printf("outcome      %s (SuccessCount %d)\n",
              outcome == app::TransferRun::Outcome::AllMoved ? "all moved" : "not all moved", run.SuccessCount());
  std::printf("rows         %llu\n", static_cast<unsigned long long>(moved));
  std::printf("seconds      %.3f\n", seconds);
  std::printf("rows/second  %.0f\n", double(moved) / seconds);
  // On a shared machine the processor time tells what the run itself costs.
  std::printf("cpu seconds  %.3f (whole program, row counting included)\n", usage.cpu_seconds);
  std::printf("peak memory  %.1f MiB\n", double(usage.peak_bytes) / (1 << 20));
  fs::remove_all(dir);
  return outcome == app::TransferRun::Outcome::AllMoved ? 0 : 1;
}
