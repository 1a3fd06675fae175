#include "sql/row_pipe.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace halvaro::sql {
namespace {

constexpr size_t kBatchRows = 512;
// A batch of long texts or binaries goes at a mebibyte: the batches in flight stay
// small whatever the table holds.
constexpr size_t kBatchBytes = size_t{1} << 20;
constexpr size_t kBatchesInFlight = 3;

size_t heap_bytes(const FieldValue& value) {
  if (value.is<std::string>()) return value.as<std::string>().size();
  if (value.is<std::vector<uint8_t>>()) return value.as<std::vector<uint8_t>>().size();
  return 0;
}

// Copies a row into `columns` slots, nulls past its end; returns the bytes of its texts
// and binaries.
size_t copy_padded(std::span<const FieldValue> row, FieldValue* slots, size_t columns) {
  size_t bytes = 0;
  for (size_t i = 0; i < columns; ++i) {
    slots[i] = i < row.size() ? row[i] : FieldValue();
    bytes += heap_bytes(slots[i]);
  }
  return bytes;
}

// Thrown inside the helper's scan when the caller has stopped reading.
struct Abandoned {};

struct Batch {
  std::vector<FieldValue> values;  // rows * columns, the rows one after another
  size_t rows = 0;
  size_t bytes = 0;  // of its texts and binaries
};

class Pipe {
 public:
  explicit Pipe(size_t columns) : columns_(columns) {}

  // Helper side.
  void put(std::span<const FieldValue> row) {
    if (filling_.values.empty()) filling_.values.resize(kBatchRows * columns_);
    filling_.bytes += copy_padded(row, filling_.values.data() + filling_.rows * columns_, columns_);
    if (++filling_.rows == kBatchRows || filling_.bytes >= kBatchBytes) hand_over();
  }
  // After the last row (or a failure, or the caller's abandoning: nothing more is handed over).
  void finish(std::exception_ptr failure = nullptr) {
    std::lock_guard lock(mutex_);
    failure_ = failure;
    finished_ = true;
    changed_.notify_all();
  }

  void flush() {
    if (filling_.rows > 0) hand_over();
  }

  // Caller side: false once every batch was taken.
  bool next(Batch& batch) {
    std::unique_lock lock(mutex_);
    if (!batch.values.empty()) spare_.push_back(std::move(batch));
    changed_.notify_all();
    changed_.wait(lock, [&] { return !full_.empty() || finished_; });
    if (failure_) std::rethrow_exception(failure_);
    if (full_.empty()) return false;
    batch = std::move(full_.front());
    full_.pop_front();
    changed_.notify_all();
    return true;
  }
  void abandon() {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
    changed_.notify_all();
  }

 private:
  void hand_over() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return full_.size() < kBatchesInFlight || abandoned_; });
    if (abandoned_) throw Abandoned{};
    full_.push_back(std::move(filling_));
    filling_ = Batch{};
    if (!spare_.empty()) {
      filling_ = std::move(spare_.back());
      spare_.pop_back();
      filling_.rows = 0;
      filling_.bytes = 0;
    }
    changed_.notify_all();
  }

  const size_t columns_;
  Batch filling_;  // the helper's own
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Batch> full_;
  std::vector<Batch> spare_;  // taken batches, their values' storage reused
  std::exception_ptr failure_;
  bool finished_ = false;
  bool abandoned_ = false;
};

// Without a helper thread (none could be started): decoded and inserted row by row here.
void pipe_rows_here(size_t columns, const std::function<void(const RowVisitor&)>& produce, const RowsVisitor& consume) {
  std::vector<FieldValue> padded;
  produce([&](std::span<const FieldValue> row) {
    if (row.size() == columns) return consume(row);
    padded.resize(columns);
    copy_padded(row, padded.data(), columns);
    consume(padded);
  });
}

}  // namespace

void pipe_rows(size_t columns, const std::function<void(const RowVisitor&)>& produce, const RowsVisitor& consume) {
  Pipe pipe(columns);
  std::thread helper;
  try {
    helper = std::thread([&] {
      try {
        produce([&](std::span<const FieldValue> row) { pipe.put(row); });
        pipe.flush();
        pipe.finish();
      } catch (const Abandoned&) {
        pipe.finish();
      } catch (...) {
        pipe.finish(std::current_exception());
      }
    });
  } catch (const std::system_error&) {
    return pipe_rows_here(columns, produce, consume);
  }
  try {
    Batch batch;
    while (pipe.next(batch)) consume(std::span<const FieldValue>(batch.values.data(), batch.rows * columns));
  } catch (...) {
    pipe.abandon();
    helper.join();
    throw;
  }
  helper.join();
}

}  // namespace halvaro::sql
