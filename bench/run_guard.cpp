// What a run does before its first write, timed on its own: the check of both files
// (and, within it, the account of the tables behind the views), the destination's check
// for damage, the search for rows already in the destination, and the backup copy.
//
//   bench_run_guard [OLD.mdb [NEW-EMPTY.mdb]]
//
// Defaults to the shared fixtures old-medium.mdb and new-empty.mdb. Times each step
// into the empty destination and again into one that already holds the whole transfer
// (a second run, where every row is found again); repeated steps give the best of five.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "app/backup.h"
#include "app/preflight.h"
#include "app/repeat_check.h"
#include "app/transfer_run.h"
#include "db/jet_store.h"
#include "platform/process.h"
#include "transfers/transfers.h"

using namespace halvaro;
namespace fs = std::filesystem;

namespace {

class QuietSink final : public app::MessageSink {
 public:
  void show(const app::Message&) override {}
};

double best_of_five(const std::function<void()>& step) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    auto start = std::chrono::steady_clock::now();
    step();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

// The check's first pass also loads the source tables, which the run would do anyway; its
// later passes are what the check adds to a run.
void time_guard(const char* label, const fs::path& source, const fs::path& destination) {
  const auto& groups = transfers::groups_in_run_order();
  db::StoreOpener opener = db::jet_store_opener();
  auto old_file = opener(source.string(), db::Access::ReadOnly);
  auto new_file = opener(destination.string(), db::Access::Append);
  app::FileCheck check;
  auto start = std::chrono::steady_clock::now();
  check = app::check_files(*old_file, *new_file, groups);
  double first = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double again = best_of_five([&] { check = app::check_files(*old_file, *new_file, groups); });
  size_t not_read = 0;
  double base = best_of_five([&] { not_read = db::account_base_tables(groups, *old_file).not_read(); });
  // The destination's check for damage, alone, and what the run waits for it when it
  // runs beside a first check of both files (over a source of its own).
  double verify = best_of_five([&] {
    new_file->begin_verify();
    new_file->verify({});
  });
  double waited = 0;
  {
    auto fresh_source = opener(source.string(), db::Access::ReadOnly);
    new_file->begin_verify();
    app::check_files(*fresh_source, *new_file, groups);
    auto wait_start = std::chrono::steady_clock::now();
    new_file->verify({});
    waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - wait_start).count();
  }
  size_t lines = 0;
  double repeats = best_of_five([&] { lines = app::find_repeats(check, *new_file, groups).size(); });
  new_file->close();
  double backup = best_of_five([&] { fs::remove(app::make_backup(destination)); });
  std::printf("%s:\n  check, first pass %.3f s; later passes %.3f s\n"
              "  of which the tables behind the views %.3f s (%zu rows no view reads)\n"
              "  destination checked for damage %.3f s (waited for %.3f s after a first check of both files)\n"
              "  rows already there %.3f s (%zu lines)\n  backup %.3f s (%.1f MiB)\n",
              label, first, again, base, not_read, verify, waited, repeats, lines, backup,
              double(fs::file_size(destination)) / (1 << 20));
}

}  // namespace

int main(int argc, char** argv) {
  fs::path fixtures = fs::path(HALVARO_BENCH_FIXTURES);
  fs::path source = argc > 1 ? fs::path(argv[1]) : fixtures / "old-medium.mdb";
  fs::path empty = argc > 2 ? fs::path(argv[2]) : fixtures / "new-empty.mdb";
  fs::path dir = fs::temp_directory_path() / ("halvaro-bench-guard-" + std::to_string(platform::process_id()));
  fs::create_directories(dir);
  fs::path destination = dir / "destination.mdb";
  fs::copy_file(empty, destination);
  fs::permissions(destination, fs::perms::owner_write, fs::perm_options::add);

  time_guard("into the empty file", source, destination);
  QuietSink sink;
  app::TransferRun run(sink);
  run.set_safety({});
  run.run(source.string(), destination.string());
  time_guard("into the filled file", source, destination);
  fs::remove_all(dir);
  return 0;
}
