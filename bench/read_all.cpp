// Reads every row of every user table of a database and writes them as CSV, as
// `halvaro dump FILE TABLE` does for one table. Time the whole process against
// bench/mdb_export_all.sh (mdbtools' mdb-export of the same tables); see README.md.
//
//   bench_read_all FILE.mdb [OUT.csv]     (OUT defaults to /dev/null)

#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli/csv_writer.h"
#include "jet/catalog/database.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: bench_read_all FILE.mdb [OUT.csv]\n";
    return 2;
  }
  try {
    auto db = halvaro::jet::Database::open(argv[1]);
    std::vector<char> buffer(1 << 20);
    std::ofstream out;
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(argc == 3 ? argv[2] : "/dev/null", std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write the output file");

    halvaro::cli::CsvWriter csv(out);
    size_t tables = 0, rows = 0;
    for (const auto& name : db->table_names()) {
      const auto& table = db->table(name);
      std::vector<std::string> header;
      for (const auto& column : table.columns) header.push_back(column.name);
      csv.write_header(header);
      db->scan(table, [&](std::span<const halvaro::FieldValue> values) {
        csv.write_row(values);
        ++rows;
        return true;
      });
      ++tables;
    }
    out.flush();
    std::cerr << tables << " tables, " << rows << " rows\n";
  } catch (const std::exception& e) {
    std::cerr << "bench_read_all: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
