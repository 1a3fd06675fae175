// Encodes General sort keys of texts in several scripts and lengths and prints the
// cost per character: it should not depend on the script nor grow with the length.
//   bench_text_keys [ROUNDS]

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "jet/indexes/index_key.h"

using namespace halvaro;
using namespace halvaro::jet;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  const long rounds = argc > 1 ? std::atol(argv[1]) : 20000;
  struct Script {
    const char* name;
    const char* word;  // repeated to the length wanted
    size_t units;      // UTF-16 units per repetition
  };
  const Script scripts[] = {{"ASCII", "Trading ", 8},
                            {"Latin-1", "M\u00FCller ", 7},
                            {"Greek", "\u0395\u03BB\u03BB\u03AC\u03B4\u03B1 ", 7},
                            {"Urdu", "\u06A9\u0631\u0627\u0686\u06CC ", 6},
                            {"Chinese", "\u4E2D\u6587\u5B57 ", 4},
                            {"beyond U+FFFF", "\U0001F600\U00020001 ", 5}};
  std::printf("%-14s %8s %12s\n", "script", "units", "ns per unit");
  KeyBytes key;
  size_t sink = 0;
  for (const Script& s : scripts) {
    for (size_t length : {16u, 64u, 255u}) {
      std::string text;
      size_t units = 0;
      while (units + s.units <= length) {
        text += s.word;
        units += s.units;
      }
      text += 'x';
      ++units;
      const FieldValue value(text);
      const auto start = Clock::now();
      for (long r = 0; r < rounds; ++r) {
        key.clear();
        append_key_part(key, ColumnType::Text, value, r % 2 == 0);
        sink += key.size();
      }
      const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
      std::printf("%-14s %8zu %12.1f\n", s.name, units, ns / static_cast<double>(rounds) / static_cast<double>(units));
    }
  }
  return sink == 0;
}
