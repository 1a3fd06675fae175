#include "jet/database_writer.h"

namespace halvaro::jet {

DatabaseWriter::~DatabaseWriter() = default;

std::unique_ptr<DatabaseWriter> DatabaseWriter::open(const std::filesystem::path& path) {
  throw JetError(path.string() + ": writing is not implemented yet");
}

}  // namespace halvaro::jet
