// bench_generate_old N OUT.mdb
// Writes an old-version database with N invoices (see generator/old_database.h).

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>

#include "bench/generator/old_database.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bench_generate_old INVOICES OUT.mdb\n";
    return 2;
  }
  try {
    const long invoices = std::stol(argv[1]);
    auto started = std::chrono::steady_clock::now();
    long rows = halvaro::bench::write_old_database(invoices, argv[2]);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%s: %ld invoices, %ld rows in %.2f s\n", argv[2], invoices, rows, seconds);
  } catch (const std::exception& e) {
    std::cerr << "bench_generate_old: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
