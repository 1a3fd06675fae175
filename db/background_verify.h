#pragma once
// The whole-file check of a source (jet::verify_tables) or of a destination (the
// checker's, see WholeFileCheck) run on a helper thread through a reader of its own,
// so that the run's statements go on meanwhile: a run reads its source's tables for the
// check of both files while the checks for damage go on beside it, and waits for them
// only before its first write.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "jet/catalog/database.h"
#include "jet/catalog/verify.h"

namespace halvaro::db {

// Reads the whole database and throws at the damage it finds; calls the progress as
// jet::verify_tables does.
using WholeFileCheck = std::function<void(const jet::Database&, const jet::VerifyProgress&)>;

class BackgroundVerify {
 public:
  // Starts the check (jet::verify_tables unless `check` is given); throws
  // std::system_error when no thread can be started.
  explicit BackgroundVerify(std::shared_ptr<const jet::Database> database, WholeFileCheck check = {});
  // Stops a check still under way (within a few thousand rows) and waits for it.
  ~BackgroundVerify();
  BackgroundVerify(const BackgroundVerify&) = delete;
  BackgroundVerify& operator=(const BackgroundVerify&) = delete;

  // Waits for the check to end, calling `progress` with the rows read and the rows the
  // file records every tenth of a second meanwhile, and throws what the check threw.
  void wait(const std::function<void(uint64_t rows_read, uint64_t rows_recorded)>& progress);

 private:
  struct Stopped {};
  void check(const std::shared_ptr<const jet::Database>& database, const WholeFileCheck& whole_file);

  std::atomic<uint64_t> rows_read_{0};
  std::atomic<uint64_t> rows_recorded_{0};
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::exception_ptr failure_;
  std::thread thread_;  // last: started once everything it uses is in place
};

}  // namespace halvaro::db
