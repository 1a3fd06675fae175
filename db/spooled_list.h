#pragma once
// A list that may grow past what memory should hold: the rows a run's account lists,
// the values a run did not store. A run stopped early, or one whose every row has a
// value that does not fit, lists millions. The first items stay in memory; past them
// items are encoded into an unlinked temporary file and read back in order. Should the
// file fail (a full disk), the count stays exact and one item stands for those lost.

#include <cstddef>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sql/row_spool.h"

namespace halvaro::db {

// How an item goes into the file and comes back, and the item that stands for
// `count` items the file could not take. Specialised for each item type:
//   static std::vector<FieldValue> encode(const T&);
//   static T decode(const std::vector<FieldValue>&);
//   static T not_kept(size_t count, const std::string& why);
template <class T>
struct SpoolCodec;

// The text of the item that stands for items the file could not take.
std::string not_kept_text(size_t count, const std::string& why);

template <class T>
class SpooledList {
 public:
  static constexpr size_t kMemoryItems = 256;

  SpooledList() = default;
  SpooledList(std::initializer_list<T> items) {
    for (const T& item : items) push_back(item);
  }

  void push_back(const T& item) {
    ++count_;
    if (!lost_why_.empty()) return;
    try {
      if (!spool_) spool_ = std::make_shared<sql::RowSpool>(kMemoryItems);
      spool_->append(SpoolCodec<T>::encode(item));
      ++stored_;
    } catch (const std::exception& error) {
      lost_why_ = error.what();
    }
  }
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T operator[](size_t i) const {
    if (i < stored_) return SpoolCodec<T>::decode(spool_->row(i));
    return SpoolCodec<T>::not_kept(count_ - stored_, lost_why_);
  }
  T at(size_t i) const {
    if (i >= count_) throw std::out_of_range("item " + std::to_string(i) + " of " + std::to_string(count_));
    return (*this)[i];
  }
  // Every item in order (those lost, if any, as the one item that says so).
  void for_each(const std::function<void(const T&)>& visit) const {
    for (size_t i = 0; i < stored_; ++i) visit(SpoolCodec<T>::decode(spool_->row(i)));
    if (stored_ < count_) visit(SpoolCodec<T>::not_kept(count_ - stored_, lost_why_));
  }

 private:
  // Shared by copies: a list is complete before its account is copied.
  std::shared_ptr<sql::RowSpool> spool_;
  size_t count_ = 0;
  size_t stored_ = 0;
  std::string lost_why_;
};

template <>
struct SpoolCodec<std::string> {
  static std::vector<FieldValue> encode(const std::string& line) { return {FieldValue(line)}; }
  static std::string decode(const std::vector<FieldValue>& values) { return values.at(0).as<std::string>(); }
  static std::string not_kept(size_t count, const std::string& why) { return not_kept_text(count, why); }
};

// Lines of text, such as the values a run did not store.
using TextLines = SpooledList<std::string>;

}  // namespace halvaro::db
