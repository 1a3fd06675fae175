#pragma once

#include "db/store.h"
#include "jet/writer/database_writer.h"
#include "sql/query_engine.h"

namespace halvaro::db {

// How much of the files a run holds in memory: the query layer's scratch database and
// large results, and the writer's pages (released at each commit).
struct StoreLimits {
  sql::ScratchLimits scratch{};
  jet::WriterOptions writer{};
  // The next masters' item queries are evaluated on a second thread while the rows of
  // the current ones are written.
  bool read_ahead = true;
};

// Opens .mdb files with our Access engine: the source read through the query layer, the
// destination appended to by the engine's writer.
StoreOpener jet_store_opener(const StoreLimits& limits = {});

}  // namespace halvaro::db
