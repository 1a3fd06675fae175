// Decodes every index page of a database file, as the writer does each time it needs
// an index leaf it let go of at a commit: the cost per page, which a large transfer
// pays hundreds of thousands of times.
//   bench_index_decode FILE.mdb [ROUNDS]   (default 5 rounds over the file's index pages)

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "jet/indexes/index_page.h"

using namespace halvaro::jet;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_index_decode FILE.mdb [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot open %s\n", argv[1]);
    return 1;
  }
  const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  constexpr size_t kPage = 4096;  // Jet 4
  std::vector<uint32_t> pages;
  for (size_t p = 1; p < file.size() / kPage; ++p)
    if (file[p * kPage] == 0x03 || file[p * kPage] == 0x04) pages.push_back(static_cast<uint32_t>(p));
  if (pages.empty()) {
    std::fprintf(stderr, "%s has no index pages\n", argv[1]);
    return 1;
  }

  size_t entries = 0;
  const auto start = Clock::now();
  try {
    for (int r = 0; r < rounds; ++r)
      for (uint32_t p : pages) entries += index_page::decode(file.data() + size_t{p} * kPage, p).entries.size();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double decoded = static_cast<double>(pages.size()) * rounds;
  std::printf("%zu index pages, %d rounds: %zu entries, %.3f s, %.2f us a page\n", pages.size(), rounds, entries,
              seconds, seconds * 1e6 / decoded);
  return 0;
}
