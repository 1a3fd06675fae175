// Runs the fuzz harness over a fixed-seed corpus of damaged copies of the seed files:
// bytes flipped, whole pages zeroed, the file cut short. Built under AddressSanitizer
// and UndefinedBehaviorSanitizer for CI, where a finding aborts the run; the same
// seed always makes the same files, so a finding can be replayed.
//
//   mutation_replay [--seconds N] [--per-seed N] [--keep DIR] SEED.mdb...

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr size_t kPage = 4096;
using Bytes = std::vector<uint8_t>;

Bytes read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

size_t below(std::mt19937_64& random, size_t n) {
  return n == 0 ? 0 : std::uniform_int_distribution<size_t>(0, n - 1)(random);
}

// One damaged copy; the kind cycles so every seed gets each kind alike.
Bytes mutate(const Bytes& seed, size_t number, std::mt19937_64& random) {
  Bytes out = seed;
  const size_t pages = out.size() / kPage;
  switch (number % 4) {
    case 0:  // a few flipped bytes anywhere
      for (size_t i = 0, n = 1 + below(random, 8); i < n && !out.empty(); ++i)
        out[below(random, out.size())] ^= static_cast<uint8_t>(1u << below(random, 8));
      break;
    case 1:  // flips concentrated on one page's header and row table, where offsets live
      if (pages > 1) {
        const size_t page = 1 + below(random, pages - 1);
        for (size_t i = 0, n = 1 + below(random, 4); i < n; ++i)
          out[page * kPage + below(random, 64)] ^= static_cast<uint8_t>(1u << below(random, 8));
      }
      break;
    case 2:  // one page zeroed
      if (pages > 1) std::memset(out.data() + (1 + below(random, pages - 1)) * kPage, 0, kPage);
      break;
    case 3:  // cut short, on or off a page boundary
      out.resize(number % 8 == 3 ? below(random, pages + 1) * kPage : below(random, out.size() + 1));
      break;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 120;
  size_t per_seed = 400;
  std::filesystem::path keep;
  std::vector<std::filesystem::path> seeds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc) seconds = std::atof(argv[++i]);
    else if (arg == "--per-seed" && i + 1 < argc) per_seed = static_cast<size_t>(std::atol(argv[++i]));
    else if (arg == "--keep" && i + 1 < argc) keep = argv[++i];
    else seeds.emplace_back(arg);
  }
  if (seeds.empty()) {
    std::cerr << "usage: mutation_replay [--seconds N] [--per-seed N] [--keep DIR] SEED.mdb...\n";
    return 2;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  size_t runs = 0;
  // Round-robin over the seeds so a time bound still covers every one of them.
  std::vector<Bytes> contents;
  std::vector<std::mt19937_64> randoms;
  for (size_t s = 0; s < seeds.size(); ++s) {
    contents.push_back(read_file(seeds[s]));
    randoms.emplace_back(20261207 + s);
  }
  for (size_t number = 0; number < per_seed; ++number) {
    for (size_t s = 0; s < seeds.size(); ++s) {
      if (std::chrono::steady_clock::now() > deadline) {
        std::cout << "time bound reached: " << runs << " damaged files read\n";
        return 0;
      }
      const Bytes damaged = mutate(contents[s], number, randoms[s]);
      if (!keep.empty()) {
        std::filesystem::create_directories(keep);
        std::ofstream(keep / (seeds[s].stem().string() + "-" + std::to_string(number) + ".mdb"), std::ios::binary)
            .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
      }
      LLVMFuzzerTestOneInput(damaged.data(), damaged.size());
      ++runs;
    }
  }
  std::cout << runs << " damaged files read from " << seeds.size() << " seeds\n";
  return 0;
}
