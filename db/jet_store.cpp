#include "db/jet_store.h"

#include "db/errors.h"

namespace halvaro::db {

StoreOpener jet_store_opener() {
  return [](const std::string& path, Access) -> std::unique_ptr<Store> {
    throw DbError(ErrorCode::Unspecified, path + ": the Access engine is not available yet");
  };
}

}  // namespace halvaro::db
