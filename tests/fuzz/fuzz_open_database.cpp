// libFuzzer harness: arbitrary bytes opened as a database, every table read row by row
// and every saved query rebuilt. A file the engine cannot read must end in JetError;
// anything else (a crash, a sanitizer report, another exception, a hang, unbounded
// memory) is a finding.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "jet/database.h"

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

size_t touch(const FieldValue& value) {
  // Look at every value so that decoding cannot be skipped.
  if (value.is<std::string>()) return value.as<std::string>().size();
  if (value.is<halvaro::Binary>()) return value.as<halvaro::Binary>().size();
  return value.is_null() ? 0 : 1;
}

void read_everything(const Database& db) {
  size_t seen = 0;
  for (const auto& name : db.table_names()) {
    try {
      const auto& table = db.table(name);
      db.scan(table, [&seen](std::span<const FieldValue> values) {
        for (const auto& value : values) seen += touch(value);
        return true;
      });
    } catch (const JetError&) {
      // a broken table; go on with the others
    }
  }
  for (const auto& name : db.query_names()) {
    try {
      seen += db.query_sql(name).size();
    } catch (const JetError&) {
    }
  }
  static volatile size_t sink;
  sink = seen;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::atexit(remove_scratch_file);
  return 0;
}

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
  return 0;
}
