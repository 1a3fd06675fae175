// Statements evaluated ahead on a helper thread: the caller gets the result of exactly
// the text it asks for, in any order it goes through them, and nothing hangs when the
// caller leaves with statements still queued.

#include "db/read_ahead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace halvaro::db {
namespace {

// A one-cell result holding the statement's text.
std::shared_ptr<const ResultView> echo(const std::string& text) {
  return std::make_shared<ResultTable>(std::vector<std::string>{"text"},
                                       std::vector<std::vector<FieldValue>>{{FieldValue(text)}});
}

std::string text_of(const std::shared_ptr<const ResultView>& result) {
  return result ? result->value(0, 0).as<std::string>() : "<none>";
}

TEST(ReadAhead, GivesEachQueuedTextItsOwnResultOnTheHelperThread) {
  std::atomic<int> off_caller_thread{0};
  const auto caller = std::this_thread::get_id();
  ReadAhead ahead([&](const std::string& text) {
    if (std::this_thread::get_id() != caller) ++off_caller_thread;
    if (text == "bad") throw std::runtime_error("no such column");
    return echo(text);
  });
  ahead.add({"a", "b", "bad", "c", "d", "e"});

  EXPECT_EQ(text_of(ahead.take("a")), "a");
  // Not queued: the caller evaluates it itself, and the queue stays as it was.
  EXPECT_EQ(ahead.take("zzz"), nullptr);
  EXPECT_EQ(ahead.queued(), 5u);
  // A failed statement gives nothing: the caller meets the error in its own evaluation.
  EXPECT_EQ(text_of(ahead.take("b")), "b");
  EXPECT_EQ(ahead.take("bad"), nullptr);
  // Going past a queued statement drops it.
  EXPECT_EQ(text_of(ahead.take("d")), "d");
  EXPECT_EQ(ahead.take("c"), nullptr);
  EXPECT_EQ(ahead.queued(), 1u);

  // The same text queued twice is handed over twice, in order.
  ahead.add({"f", "f", "g"});
  EXPECT_EQ(text_of(ahead.take("f")), "f");
  EXPECT_EQ(text_of(ahead.take("f")), "f");
  EXPECT_EQ(text_of(ahead.take("g")), "g");  // drops "e" queued before
  EXPECT_EQ(ahead.queued(), 0u);
  EXPECT_EQ(ahead.taken(), 6u);
  EXPECT_GE(off_caller_thread.load(), 6);
}

TEST(ReadAhead, LeavingWithStatementsQueuedWaitsOnlyForTheOneUnderWay) {
  std::atomic<int> evaluated{0};
  {
    ReadAhead ahead([&](const std::string& text) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ++evaluated;
      return echo(text);
    });
    std::vector<std::string> texts;
    for (int i = 0; i < 200; ++i) texts.push_back("q" + std::to_string(i));
    ahead.add(texts);
    EXPECT_EQ(text_of(ahead.take("q0")), "q0");
  }
  // 200 statements would take 4 s; the helper stopped after the one it was on.
  EXPECT_LE(evaluated.load(), 3);
}

// A whole stage's statement may take seconds: the caller waiting for it keeps ticking
// (a window keeps painting), and gets its result.
TEST(ReadAhead, TheCallerTicksWhileItWaitsForAStatementUnderWay) {
  ReadAhead ahead([](const std::string& text) {
    std::this_thread::sleep_for(std::chrono::milliseconds(text == "slow" ? 450 : 0));
    return echo(text);
  });
  ahead.add({"slow"});
  int ticks = 0;
  EXPECT_EQ(text_of(ahead.take("slow", [&] { ++ticks; })), "slow");
  EXPECT_GE(ticks, 2);

  // A tick that takes the statement itself gets it; the caller it interrupted gets
  // nothing (and evaluates the statement on its own) rather than another's result.
  ahead.add({"slow", "next"});
  std::string taken_by_tick;
  auto tick = [&] {
    if (taken_by_tick.empty()) taken_by_tick = text_of(ahead.take("slow"));
  };
  EXPECT_EQ(ahead.take("slow", tick), nullptr);
  EXPECT_EQ(taken_by_tick, "slow");
  EXPECT_EQ(text_of(ahead.take("next")), "next");
}

// An empty result that notes the thread it is freed on.
class NotedResult final : public ResultView {
 public:
  explicit NotedResult(std::function<void(std::thread::id)> freed) : freed_(std::move(freed)) {}
  ~NotedResult() override { freed_(std::this_thread::get_id()); }
  size_t column_count() const override { return 0; }
  const std::string& column_name(size_t) const override { throw std::out_of_range("no columns"); }
  size_t row_count() const override { return 0; }
  const FieldValue& value(size_t, size_t) const override { throw std::out_of_range("no rows"); }

 private:
  std::function<void(std::thread::id)> freed_;
};

// Results the caller is done with are freed on the helper, in batches or after the next
// statement; none is kept for good, and without a helper they go at once.
TEST(ReadAhead, ResultsLetGoOfAreFreedOnTheHelperThread) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::thread::id> freed_on;
  auto note = [&](std::thread::id id) {
    std::lock_guard lock(mutex);
    freed_on.push_back(id);
    changed.notify_all();
  };
  auto freed_count = [&](size_t count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [&] { return freed_on.size() >= count; });
  };
  const auto caller = std::this_thread::get_id();
  {
    ReadAhead ahead(echo);
    ahead.let_go(std::make_shared<NotedResult>(note));  // no helper yet
    ASSERT_TRUE(freed_count(1));
    EXPECT_EQ(freed_on[0], caller);

    ahead.add({"a"});
    EXPECT_EQ(text_of(ahead.take("a")), "a");
    for (int i = 0; i < 16; ++i) ahead.let_go(std::make_shared<NotedResult>(note));
    ASSERT_TRUE(freed_count(17));

    ahead.let_go(std::make_shared<NotedResult>(note));
    ahead.add({"b"});
    ASSERT_TRUE(freed_count(18));
    EXPECT_EQ(text_of(ahead.take("b")), "b");
    for (size_t i = 1; i < 18; ++i) EXPECT_NE(freed_on[i], caller) << i;

    ahead.let_go(std::make_shared<NotedResult>(note));
  }
  EXPECT_EQ(freed_on.size(), 19u);  // the last one with the helper
}

}  // namespace
}  // namespace halvaro::db
