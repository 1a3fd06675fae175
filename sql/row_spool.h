#pragma once
// Rows of a result too large to hold as values: the first rows stay in memory as they
// are; past a limit every row is encoded into a temporary file (removed as soon as it
// is created, so it goes away on any exit) and read back a block at a time. Memory then
// follows the block being read, not the size of the result.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "jet/base/field_value.h"
#include "platform/file.h"

namespace halvaro::sql {

class RowSpool {
 public:
  // Rows held as values before the spool moves to its file.
  static constexpr size_t kDefaultMemoryRows = 4096;

  explicit RowSpool(size_t memory_rows = kDefaultMemoryRows);
  ~RowSpool();
  RowSpool(RowSpool&& other) noexcept;
  RowSpool& operator=(RowSpool&& other) noexcept;
  RowSpool(const RowSpool&) = delete;
  RowSpool& operator=(const RowSpool&) = delete;

  // Throws std::runtime_error when the temporary file cannot be made or written.
  void append(std::vector<FieldValue> row);
  size_t size() const { return count_; }
  bool on_disk() const { return file_.is_open(); }

  // Row n (n < size()): valid until the next call of row() or append().
  const std::vector<FieldValue>& row(size_t n) const;

 private:
  static constexpr size_t kBlockRows = 256;
  static constexpr size_t kWriteBuffer = 1 << 20;

  void move_to_file();
  void encode(const std::vector<FieldValue>& row);
  void flush() const;
  void load_block(size_t block) const;
  void decode_row(size_t in_block) const;

  size_t memory_rows_;
  size_t count_ = 0;
  std::vector<std::vector<FieldValue>> memory_;  // the rows while they fit

  mutable platform::File file_;  // written by flush(), which a reader may call
  mutable std::string pending_;          // encoded rows not yet written
  mutable uint64_t written_ = 0;         // bytes in the file
  std::vector<uint64_t> block_starts_;   // offset of every kBlockRows-th row
  mutable size_t loaded_block_ = SIZE_MAX;
  // The rows of loaded_block_, each decoded when first asked for: a reader that jumps
  // about (a lookup by key) decodes one row, not the whole block.
  mutable std::vector<std::vector<FieldValue>> window_;
  mutable std::vector<bool> decoded_;
  mutable std::vector<size_t> row_starts_;  // where each row of the block begins in read_buffer_
  mutable std::string read_buffer_;         // the encoded rows of loaded_block_
};

// The encoding the spool uses, one value after another (exposed for tests).
void encode_value(const FieldValue& value, std::string& out);
// Decodes one value at `at`, moving it past; throws std::runtime_error on bytes that
// are not an encoded value.
FieldValue decode_value(std::string_view bytes, size_t& at);

}  // namespace halvaro::sql
