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

}  // namespace halvaro::jet
