#include "sql/row_spool.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "jet/base/temporary_file.h"

namespace halvaro::sql {
namespace {

template <class T>
void put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T>
T take(std::string_view bytes, size_t& at) {
  if (bytes.size() - at < sizeof(T)) throw std::runtime_error("spooled row is cut short");
  T value;
  std::memcpy(&value, bytes.data() + at, sizeof value);
  at += sizeof value;
  return value;
}

void put_bytes(std::string& out, const void* data, size_t size) {
  put(out, static_cast<uint32_t>(size));
  out.append(static_cast<const char*>(data), size);
}

std::string_view take_bytes(std::string_view bytes, size_t& at) {
  auto size = take<uint32_t>(bytes, at);
  if (bytes.size() - at < size) throw std::runtime_error("spooled row is cut short");
  std::string_view out = bytes.substr(at, size);
  at += size;
  return out;
}

// `error` clear: the file ended before what was written to it.
std::runtime_error file_error(const std::string& what, const std::error_code& error) {
  return std::runtime_error(what + ": " + (error ? error.message() : "it ends early"));
}

// Moves past one encoded value without building it; the same checks as decode_value.
void skip_value(std::string_view bytes, size_t& at) {
  switch (take<uint8_t>(bytes, at)) {
    case 0: return;
    case 1:
    case 9: take_bytes(bytes, at); return;
    case 2:
    case 3:
    case 4:
    case 5: take<int64_t>(bytes, at); return;
    case 6: take<uint8_t>(bytes, at); return;
    case 7:
      take<Int128>(bytes, at);
      take<uint8_t>(bytes, at);
      return;
    case 8:
      take<Int128>(bytes, at);  // the 16 bytes of a Guid
      return;
    default: throw std::runtime_error("spooled row holds an unknown value type");
  }
}

}  // namespace

void encode_value(const FieldValue& field, std::string& out) {
  const auto& v = field.value;
  out.push_back(static_cast<char>(v.index()));
  if (auto text = std::get_if<std::string>(&v)) put_bytes(out, text->data(), text->size());
  else if (auto whole = std::get_if<int64_t>(&v)) put(out, *whole);
  else if (auto number = std::get_if<double>(&v)) put(out, *number);
  else if (auto money = std::get_if<Currency>(&v)) put(out, money->scaled);
  else if (auto when = std::get_if<DateTime>(&v)) put(out, when->days);
  else if (auto flag = std::get_if<bool>(&v)) out.push_back(*flag ? 1 : 0);
  else if (auto exact = std::get_if<Decimal>(&v)) {
    put(out, exact->unscaled);
    out.push_back(static_cast<char>(exact->scale));
  } else if (auto id = std::get_if<Guid>(&v)) out.append(reinterpret_cast<const char*>(id->bytes.data()), 16);
  else if (auto bytes = std::get_if<Binary>(&v)) put_bytes(out, bytes->data(), bytes->size());
}

FieldValue decode_value(std::string_view bytes, size_t& at) {
  auto tag = take<uint8_t>(bytes, at);
  switch (tag) {
    case 0: return FieldValue();
    case 1: return FieldValue(std::string(take_bytes(bytes, at)));
    case 2: return FieldValue(take<int64_t>(bytes, at));
    case 3: return FieldValue(take<double>(bytes, at));
    case 4: return FieldValue(Currency{take<int64_t>(bytes, at)});
    case 5: return FieldValue(DateTime{take<double>(bytes, at)});
    case 6: return FieldValue(take<uint8_t>(bytes, at) != 0);
    case 7: {
      auto unscaled = take<Int128>(bytes, at);
      return FieldValue(Decimal{unscaled, take<uint8_t>(bytes, at)});
    }
    case 8: {
      Guid id;
      for (auto& byte : id.bytes) byte = take<uint8_t>(bytes, at);
      return FieldValue(id);
    }
    case 9: {
      std::string_view data = take_bytes(bytes, at);
      return FieldValue(Binary(data.begin(), data.end()));
    }
    default: throw std::runtime_error("spooled row holds an unknown value type");
  }
}

RowSpool::RowSpool(size_t memory_rows) : memory_rows_(memory_rows) {}

RowSpool::~RowSpool() = default;

RowSpool::RowSpool(RowSpool&& other) noexcept { *this = std::move(other); }

RowSpool& RowSpool::operator=(RowSpool&& other) noexcept {
  if (this == &other) return *this;
  memory_rows_ = other.memory_rows_;
  count_ = std::exchange(other.count_, 0);
  memory_ = std::move(other.memory_);
  file_ = std::move(other.file_);
  pending_ = std::move(other.pending_);
  written_ = std::exchange(other.written_, 0);
  block_starts_ = std::move(other.block_starts_);
  loaded_block_ = std::exchange(other.loaded_block_, SIZE_MAX);
  window_ = std::move(other.window_);
  decoded_ = std::move(other.decoded_);
  row_starts_ = std::move(other.row_starts_);
  read_buffer_ = std::move(other.read_buffer_);
  return *this;
}

void RowSpool::append(std::vector<FieldValue> row) {
  if (!file_.is_open() && count_ < memory_rows_) {
    memory_.push_back(std::move(row));
    ++count_;
    return;
  }
  if (!file_.is_open()) move_to_file();
  if (loaded_block_ == block_starts_.size() - 1) loaded_block_ = SIZE_MAX;  // the last block grows
  encode(row);
  ++count_;
  if (pending_.size() >= kWriteBuffer) flush();
}

void RowSpool::move_to_file() {
  file_ = jet::open_temporary_file("halvaro-rows");
  std::vector<std::vector<FieldValue>> rows = std::move(memory_);
  memory_.clear();
  count_ = 0;
  for (const auto& row : rows) {
    encode(row);
    ++count_;
  }
}

void RowSpool::encode(const std::vector<FieldValue>& row) {
  if (count_ % kBlockRows == 0) block_starts_.push_back(written_ + pending_.size());
  put(pending_, static_cast<uint32_t>(row.size()));
  for (const auto& value : row) encode_value(value, pending_);
}

void RowSpool::flush() const {
  std::error_code error;
  if (!file_.write_at(pending_.data(), pending_.size(), written_, error))
    throw file_error("cannot write a temporary file", error);
  written_ += pending_.size();
  pending_.clear();
}

void RowSpool::load_block(size_t block) const {
  flush();
  uint64_t start = block_starts_[block];
  uint64_t end = block + 1 < block_starts_.size() ? block_starts_[block + 1] : written_;
  read_buffer_.resize(size_t(end - start));
  std::error_code error;
  if (file_.read_at(read_buffer_.data(), read_buffer_.size(), start, error) != read_buffer_.size())
    throw file_error("cannot read a temporary file", error);
  size_t rows = std::min(kBlockRows, count_ - block * kBlockRows);
  row_starts_.resize(rows);
  size_t at = 0;
  for (size_t& row_start : row_starts_) {
    row_start = at;
    for (auto values = take<uint32_t>(read_buffer_, at); values > 0; --values) skip_value(read_buffer_, at);
  }
  window_.resize(rows);
  decoded_.assign(rows, false);
  loaded_block_ = block;
}

void RowSpool::decode_row(size_t in_block) const {
  size_t at = row_starts_[in_block];
  std::vector<FieldValue>& row = window_[in_block];
  row.resize(take<uint32_t>(read_buffer_, at));
  for (auto& value : row) value = decode_value(read_buffer_, at);
  decoded_[in_block] = true;
}

const std::vector<FieldValue>& RowSpool::row(size_t n) const {
  if (!file_.is_open()) return memory_[n];
  size_t block = n / kBlockRows;
  if (block != loaded_block_) load_block(block);
  size_t in_block = n % kBlockRows;
  if (!decoded_[in_block]) decode_row(in_block);
  return window_[in_block];
}

}  // namespace halvaro::sql
