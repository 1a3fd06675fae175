#include "db/background_verify.h"

#include <chrono>

#include "jet/catalog/verify.h"

namespace halvaro::db {

BackgroundVerify::BackgroundVerify(std::shared_ptr<const jet::Database> database, WholeFileCheck check)
    : thread_([this, database = std::move(database), check = std::move(check)] { this->check(database, check); }) {}

BackgroundVerify::~BackgroundVerify() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
}

void BackgroundVerify::check(const std::shared_ptr<const jet::Database>& database,
                             const WholeFileCheck& whole_file) {
  std::exception_ptr failure;
  try {
    // A reader of its own over the same mapped pages: a jet::Database keeps the table
    // definitions it has read, and is not for two threads at once.
    std::shared_ptr<const jet::PageSource> pages(database, &database->pages());
    auto own = jet::Database::open(std::move(pages), database->path());
    const jet::VerifyProgress progress = [this](uint64_t read, uint64_t recorded) {
      if (stopping_) throw Stopped{};
      rows_read_ = read;
      rows_recorded_ = recorded;
    };
    if (whole_file)
      whole_file(*own, progress);
    else
      jet::verify_tables(*own, progress);
  } catch (const Stopped&) {
    // Nobody waits for it any more.
  } catch (...) {
    failure = std::current_exception();
  }
  std::lock_guard lock(mutex_);
  failure_ = failure;
  done_ = true;
  ended_.notify_all();
}

void BackgroundVerify::wait(const std::function<void(uint64_t, uint64_t)>& progress) {
  std::unique_lock lock(mutex_);
  while (!ended_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
    if (!progress) continue;
    lock.unlock();
    progress(rows_read_, rows_recorded_);
    lock.lock();
  }
  if (failure_) std::rethrow_exception(failure_);
}

}  // namespace halvaro::db
