#pragma once

#include "db/store.h"

namespace halvaro::db {

// Opens .mdb files with our Access engine: the source read through the query layer, the
// destination appended to by the engine's writer.
StoreOpener jet_store_opener();

}  // namespace halvaro::db
