// libFuzzer harness: arbitrary bytes opened as a database, every table read row by row
// and every saved query rebuilt. A file the engine cannot read must end in JetError;
// anything else (a crash, a sanitizer report, another exception, a hang, unbounded
// memory) is a finding.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "jet/catalog/database.h"

namespace {

using halvaro::FieldValue;
using halvaro::jet::Database;
using halvaro::jet::JetError;

// The engine opens files by path, so each input goes through one scratch file in memory.
const std::filesystem::path& scratch_file() {
  static const std::filesystem::path path = [] {
    std::filesystem::path dir = std::filesystem::exists("/dev/shm")
                                    ? std::filesystem::path("/dev/shm")
                                    : std::filesystem::temp_directory_path();
    return dir / ("halvaro-fuzz-" + std::to_string(getpid()) + ".mdb");
  }();
  return path;
}

void remove_scratch_file() {
  std::error_code ignored;
  std::filesystem::remove(scratch_file(), ignored);
}

// The engine decodes every value of a row before the visitor sees it, so visiting
// each row is enough to exercise the row decoders.
void read_everything(const Database& db) {
  for (const auto& name : db.table_names()) {
    try {
      const auto& table = db.table(name);
      db.scan(table, [](std::span<const FieldValue>) { return true; });
    } catch (const JetError&) {
      // a broken table; go on with the others
    }
  }
  for (const auto& name : db.query_names()) {
    try {
      db.query_sql(name);
    } catch (const JetError&) {
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(scratch_file(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  try {
    auto db = Database::open(scratch_file());
    read_everything(*db);
  } catch (const JetError&) {
    // refused with a message: the expected outcome for most inputs
  }
  // libFuzzer ends a timed run without running exit handlers, so tidy up every time.
  remove_scratch_file();
  return 0;
}
