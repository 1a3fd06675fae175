#pragma once
// Which of the rows a group appended are durable. The destination commits when the copy
// asks (as a stage opens, as a group ends, as the connection closes) and on its own now
// and then; a failed write rolls back what was appended since its last commit. The watch
// tells the ledger of every commit and, when a group stops, whether its failure took
// rows back.

#include <cstdint>
#include <string>

#include "db/connection.h"
#include "db/row_ledger.h"

namespace halvaro::db {

class CommitWatch {
 public:
  CommitWatch(Connection& destination, RowLedger& ledger) : destination_(destination), ledger_(ledger) {}

  // Closes the destination when it is open, which commits it: when that fails, the rows
  // appended since the last commit are gone with it.
  void close_destination();
  // Every row appended so far is durable: the destination's commit and rollback counts
  // are noted from here on.
  void durable();
  // After a row is stored: a commit the destination made on its own makes the rows
  // appended before it durable, and a failed write can no longer take them back.
  void note_commits();
  // The group stopped for `description`: the ledger takes back the rows its failure undid.
  void group_stopped(const std::string& description);

 private:
  bool uncommitted_rows_lost() const;

  Connection& destination_;
  RowLedger& ledger_;
  bool closing_destination_ = false;
  // The destination store as last seen, with its commit and rollback counts then.
  const Store* seen_store_ = nullptr;
  uint64_t seen_commits_ = 0;
  uint64_t seen_rollbacks_ = 0;
};

}  // namespace halvaro::db
