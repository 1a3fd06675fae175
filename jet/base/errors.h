#pragma once

#include <stdexcept>

namespace halvaro::jet {

// Any problem with a database file; the message names the file and what is wrong.
class JetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bytes that break the file format's rules, raised by the decoders. They do not
// know which file they read; Database adds the file name before it reaches callers.
class CorruptData : public JetError {
 public:
  using JetError::JetError;
};

// A value that cannot be stored in its column: text longer than the column, a number
// outside the column's range, a value of the wrong kind. The access layer reports it
// as 0x80040E21 (the row is skipped, the run goes on).
class ValueError : public JetError {
 public:
  using JetError::JetError;
};

// A row the table's rules refuse: a duplicate key in a unique or primary index, a
// required column left null, an empty text where zero length is not allowed.
class ConstraintError : public JetError {
 public:
  using JetError::JetError;
};

}  // namespace halvaro::jet
