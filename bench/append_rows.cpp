// Appends rows to a table with a text + date primary key and a second (descending
// currency) index, then writes the same number of bytes sequentially to a plain file
// as the floor no writer can beat on this machine. REGIONS sets how many places of the
// primary key take inserts (rows go to the regions in turn); HELD_PAGES the pages the
// writer may hold before it commits early.
//   bench_append_rows [ROWS] [FOLDER] [COMMIT_MS] [COMMIT_ROWS] [HELD_PAGES] [REGIONS]

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "sql/create_script.h"
#include "jet/writer/database_writer.h"
#include "platform/file.h"

using namespace halvaro;
using Clock = std::chrono::steady_clock;

namespace {

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double plain_write_seconds(const std::filesystem::path& file, uint64_t bytes) {
  std::vector<char> block(1 << 20, 'x');
  const auto start = Clock::now();
  std::error_code error;
  std::filesystem::remove(file, error);
  platform::File out = platform::File::open(file, platform::File::Mode::create_new, error);
  if (!out.is_open()) std::exit(1);
  for (uint64_t done = 0; done < bytes;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), bytes - done));
    if (!out.write_at(block.data(), n, done, error)) std::exit(1);
    done += n;
  }
  out.sync_data(error);
  out.close();
  return seconds_since(start);
}

double cpu_seconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::filesystem::path folder = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
  jet::WriterOptions options;
  if (argc > 3) options.commit_interval = std::chrono::milliseconds(std::atol(argv[3]));
  if (argc > 4) options.commit_rows = static_cast<uint32_t>(std::atol(argv[4]));
  if (argc > 5) options.pages_held_before_commit = static_cast<size_t>(std::atol(argv[5]));
  const long regions = argc > 6 ? std::max(1L, std::atol(argv[6])) : 50;
  const auto db_file = folder / "bench_append_rows.mdb";
  const auto script = folder / "bench_append_rows.sql";
  std::filesystem::remove(db_file);
  std::ofstream(script) << "CREATE TABLE Sales (Region TEXT(20) NOT NULL, SoldAt DATETIME NOT NULL, "
                           "Amount CURRENCY, Note TEXT(50), Qty LONG, "
                           "CONSTRAINT pk PRIMARY KEY (Region, SoldAt));\n"
                           "CREATE INDEX ByAmount ON Sales (Amount DESC);\n";
  sql::script::create_database(db_file, script);

  std::mt19937 random(1);
  const auto start = Clock::now();
  auto writer = jet::DatabaseWriter::open(db_file, options);
  const jet::TableDef& sales = writer->table("Sales");
  for (long i = 0; i < rows; ++i) {
    std::vector<FieldValue> row(sales.columns.size());
    row[0] = FieldValue("Region " + std::to_string(i % regions));
    row[1] = FieldValue(DateTime{45000.0 + static_cast<double>(i) / 86400.0});
    row[2] = FieldValue(Currency{static_cast<int64_t>(random() % 100000000)});
    row[3] = FieldValue("note " + std::to_string(i));
    row[4] = FieldValue(static_cast<int64_t>(i));
    writer->append(sales, std::move(row));
  }
  writer->close();
  const double append_seconds = seconds_since(start);
  const uint64_t bytes = writer->bytes_written();
  const jet::WriterCounters done = writer->counters();
  const auto mb = static_cast<double>(bytes) / 1e6;
  const auto file_mb = static_cast<double>(std::filesystem::file_size(db_file)) / 1e6;
  const auto count = static_cast<double>(rows);

  const double floor_seconds = plain_write_seconds(folder / "bench_append_rows.floor", bytes);
  std::filesystem::remove(folder / "bench_append_rows.floor");
  std::filesystem::remove(db_file);
  std::filesystem::remove(script);

  std::printf("rows appended:        %ld (2 indexes maintained, %ld regions), commits every %ld ms or %u rows"
              " or at %zu pages held\n",
              rows, regions, static_cast<long>(options.commit_interval.count()), options.commit_rows,
              options.pages_held_before_commit);
  std::printf("CPU time (process):   %.3f s  (%.0f rows per CPU second)\n", cpu_seconds(), count / cpu_seconds());
  std::printf("append time:          %.3f s  (%.0f rows/s)\n", append_seconds, count / append_seconds);
  std::printf("bytes written:        %.1f MB (file %.1f MB, journal included)\n", mb, file_mb);
  std::printf("plain write of those: %.3f s  (%.0f MB/s)\n", floor_seconds, mb / floor_seconds);
  std::printf("ratio to the floor:   %.2fx\n", append_seconds / floor_seconds);
  std::printf("commits:              %llu; pages read %llu, index pages decoded %llu, pages committed %llu"
              " (and %llu written ahead)\n",
              static_cast<unsigned long long>(done.commits), static_cast<unsigned long long>(done.pages_loaded),
              static_cast<unsigned long long>(done.index_pages_decoded),
              static_cast<unsigned long long>(done.pages_committed),
              static_cast<unsigned long long>(done.pages_written_ahead));
  return 0;
}
