#pragma once
// The whole-file check of a source (jet::verify_tables) run on a helper thread through
// a reader of its own, so that the source's statements go on meanwhile: a run reads
// its source's tables for the check of both files while the check for damage goes on
// beside it, and waits for that only before its first write.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "jet/catalog/database.h"

namespace halvaro::db {

class BackgroundVerify {
 public:
  // Starts the check; throws std::system_error when no thread can be started.
  explicit BackgroundVerify(std::shared_ptr<const jet::Database> database);
  // Stops a check still under way (within a few thousand rows) and waits for it.
  ~BackgroundVerify();
  BackgroundVerify(const BackgroundVerify&) = delete;
  BackgroundVerify& operator=(const BackgroundVerify&) = delete;

  // Waits for the check to end, calling `progress` with the rows read and the rows the
  // file records every tenth of a second meanwhile, and throws the JetError it met.
  void wait(const std::function<void(uint64_t rows_read, uint64_t rows_recorded)>& progress);

 private:
  struct Stopped {};
  void check(const std::shared_ptr<const jet::Database>& database);

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
