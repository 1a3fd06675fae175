#include "db/commit_watch.h"

namespace halvaro::db {

void CommitWatch::close_destination() {
  if (destination_.State() != 1) return;
  closing_destination_ = true;
  destination_.Close();
  closing_destination_ = false;
}

void CommitWatch::durable() {
  seen_store_ = nullptr;
  if (destination_.State() == 1) {
    const Store& store = destination_.store();
    seen_store_ = &store;
    seen_commits_ = store.commits();
    seen_rollbacks_ = store.rollbacks();
  }
  ledger_.committed();
}

void CommitWatch::note_commits() {
  if (destination_.State() != 1) return;
  const Store& store = destination_.store();
  if (&store == seen_store_ && store.commits() != seen_commits_) {
    seen_commits_ = store.commits();
    ledger_.committed();
  }
}

void CommitWatch::group_stopped(const std::string& description) {
  if (uncommitted_rows_lost()) ledger_.rolled_back(description);
  closing_destination_ = false;
}

// Whether the failure that stops the group undid the rows appended since the last commit.
bool CommitWatch::uncommitted_rows_lost() const {
  if (closing_destination_) return true;
  if (destination_.State() != 1) return false;
  const Store& store = destination_.store();
  return &store == seen_store_ && store.rollbacks() != seen_rollbacks_;
}

}  // namespace halvaro::db
