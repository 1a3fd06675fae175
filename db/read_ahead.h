#pragma once
// Statements evaluated ahead of the caller on a helper thread: while the caller writes
// the rows of one item query, the next masters' item queries are being evaluated.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "db/store.h"

namespace halvaro::db {

class ReadAhead {
 public:
  // Runs on the helper thread, one statement at a time. A failure is not kept: the
  // caller evaluates that statement itself and meets the error where it always did.
  using Evaluate = std::function<std::shared_ptr<const ResultView>(const std::string&)>;

  explicit ReadAhead(Evaluate evaluate);
  ~ReadAhead();  // drops what is queued and waits for the statement under way
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Queues statements, in the order the caller will ask for them.
  void add(std::vector<std::string> texts);
  // The result of `text` when it is queued, waiting for it if it is under way; the
  // statements queued before it are dropped (the caller went past them). Null when
  // `text` is not queued or its evaluation failed. While it waits, `waiting` is called
  // every few tenths of a second (a window keeps painting).
  std::shared_ptr<const ResultView> take(const std::string& text, const std::function<void()>& waiting = {});

  // A result the caller is done with, freed on the helper thread: it was made there, so
  // its memory goes back where it came from, and the caller does not spend its time
  // freeing thousands of small blocks. They are freed in batches, or with the next
  // statement; with no helper running, at once. (The texts of the statements taken go
  // the same way: both threads allocate from one malloc arena, see cli/main.cpp, and
  // the caller would wait on its lock while the helper allocates.)
  void let_go(std::shared_ptr<const ResultView> result);

  // Statements queued and not yet taken or dropped.
  size_t queued() const;
  // Results handed over by take.
  uint64_t taken() const;

 private:
  struct Entry {
    std::string text;
    std::shared_ptr<const ResultView> result;
    bool done = false;
  };
  static constexpr size_t kLetGoBatch = 16;

  void work();
  void spend(std::string&& text);  // under the lock
  bool has_work() const { return next_number_ < front_number_ + queue_.size(); }

  Evaluate evaluate_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Entry> queue_;
  std::vector<std::shared_ptr<const ResultView>> let_go_;
  std::vector<std::string> spent_texts_;  // of entries taken or dropped, freed with let_go_
  uint64_t front_number_ = 0;  // the number of queue_.front(): entries are numbered as queued
  uint64_t next_number_ = 0;   // the first entry not yet begun
  uint64_t taken_ = 0;
  bool stopping_ = false;
  bool no_helper_ = false;  // the thread could not be started
  std::thread worker_;  // started with the first add
};

}  // namespace halvaro::db
