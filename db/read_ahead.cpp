#include "db/read_ahead.h"

#include <chrono>
#include <system_error>

namespace halvaro::db {

ReadAhead::ReadAhead(Evaluate evaluate) : evaluate_(std::move(evaluate)) {}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void ReadAhead::add(std::vector<std::string> texts) {
  if (texts.empty()) return;
  {
    std::lock_guard lock(mutex_);
    if (no_helper_) return;
    if (!worker_.joinable()) {
      try {
        worker_ = std::thread([this] { work(); });
      } catch (const std::system_error&) {
        no_helper_ = true;  // nothing is read ahead: the caller evaluates every statement
        return;
      }
    }
    for (std::string& text : texts) queue_.push_back({std::move(text), nullptr, false});
  }
  changed_.notify_all();
}

std::shared_ptr<const ResultView> ReadAhead::take(const std::string& text, const std::function<void()>& waiting) {
  std::unique_lock lock(mutex_);
  size_t at = 0;
  while (at < queue_.size() && queue_[at].text != text) ++at;
  if (at == queue_.size()) return nullptr;
  // The entries before it are not asked for any more. One under way finishes on its
  // own and finds itself gone.
  for (size_t i = 0; i < at; ++i) spend(std::move(queue_[i].text));
  queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(at));
  front_number_ += at;
  if (next_number_ < front_number_) next_number_ = front_number_;
  // A whole stage's master query may be under way: the caller's tick runs meanwhile,
  // with the lock let go. Should the tick itself have taken statements (the entry is
  // gone from the front), the caller evaluates this one itself.
  const uint64_t mine = front_number_;
  while (!changed_.wait_for(lock, std::chrono::milliseconds(100), [&] { return queue_.front().done; })) {
    if (!waiting) continue;
    lock.unlock();
    waiting();
    lock.lock();
    if (front_number_ != mine) return nullptr;
  }
  std::shared_ptr<const ResultView> result = std::move(queue_.front().result);
  spend(std::move(queue_.front().text));
  queue_.pop_front();
  ++front_number_;
  if (result) ++taken_;
  return result;
}

void ReadAhead::let_go(std::shared_ptr<const ResultView> result) {
  if (!result) return;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (!worker_.joinable() || stopping_) return;  // freed here, on the way out
    let_go_.push_back(std::move(result));
    wake = let_go_.size() == kLetGoBatch;
  }
  if (wake) changed_.notify_all();
}

void ReadAhead::spend(std::string&& text) {
  if (worker_.joinable() && !stopping_) spent_texts_.push_back(std::move(text));
}

size_t ReadAhead::queued() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

uint64_t ReadAhead::taken() const {
  std::lock_guard lock(mutex_);
  return taken_;
}

void ReadAhead::work() {
  std::unique_lock lock(mutex_);
  // Wakes a caller waiting for a result, and frees what the caller let go of, with the
  // lock released: a waiting caller does not wake only to wait for the lock, and a take
  // waits for no freeing. The lists are swapped with empty ones that keep their room,
  // so that the caller's next additions allocate nothing.
  std::vector<std::shared_ptr<const ResultView>> freed;
  std::vector<std::string> texts;
  auto wake_and_free = [&](bool wake) {
    if (!wake && let_go_.empty() && spent_texts_.empty()) return;
    freed.swap(let_go_);
    texts.swap(spent_texts_);
    lock.unlock();
    if (wake) changed_.notify_all();
    freed.clear();
    texts.clear();
    lock.lock();
  };
  std::string text;  // its buffer serves statement after statement
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || has_work() || let_go_.size() >= kLetGoBatch; });
    if (stopping_) return;
    if (!has_work()) {
      wake_and_free(false);
      continue;
    }
    const uint64_t number = next_number_++;
    text.assign(queue_[number - front_number_].text);
    lock.unlock();
    std::shared_ptr<const ResultView> result;
    try {
      result = evaluate_(text);
    } catch (...) {
      result = nullptr;  // evaluated again by the caller, who then sees the error
    }
    lock.lock();
    if (number >= front_number_) {
      Entry& entry = queue_[number - front_number_];
      entry.result = std::move(result);
      entry.done = true;
    } else if (result) {
      let_go_.push_back(std::move(result));  // nobody asks for it any more
    }
    wake_and_free(true);
  }
}

}  // namespace halvaro::db
