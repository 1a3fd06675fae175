#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace halvaro::db {

// Error codes the access layer raises. The callers decide by code alone: a value that
// cannot be stored skips one step of a transfer, everything else stops the transfer.
enum class ErrorCode : uint32_t {
  ErrorsOccurred = 0x80040E21,       // a value could not be stored in its column
  Unspecified = 0x80004005,          // the engine refused an operation
  NoSuchTable = 0x80040E37,          // a table or query named in the source text is missing
  QueryFailed = 0x80040E14,          // bad SQL, or the query could not be evaluated
  IntegrityViolation = 0x80040E2F,   // a key or a required column was violated
  ItemNotFound = 0x800A0CC1,         // a column name the recordset does not have
  ObjectOpen = 0x800A0E79,           // Open on an object that is already open
  ObjectClosed = 0x800A0E78,         // an operation that needs an open object
  NoCurrentRecord = 0x800A0BCD,      // BOF or EOF is true, or no row is current
  ReadOnly = 0x800A0CB3,             // the recordset cannot append rows
  ProviderNotFound = 0x800A0E7A,     // the connection text names another provider
  ConnectionText = 0x80040E73,       // the connection text is malformed or has no file
};

inline const char* kErrorsOccurredText =
    "Multiple-step operation generated errors. Check each status value.";

// A failed call: the numeric code, the description shown to the user (what()), and
// for a value that was not stored, the plain reason kept for the list of skipped values.
class DbError : public std::runtime_error {
 public:
  DbError(ErrorCode code, const std::string& description, std::string reason = {})
      : std::runtime_error(description), code_(code), reason_(std::move(reason)) {}
  ErrorCode code() const { return code_; }
  bool value_not_stored() const { return code_ == ErrorCode::ErrorsOccurred; }
  const std::string& reason() const { return reason_; }

 private:
  ErrorCode code_;
  std::string reason_;
};

// The error for a value that cannot be stored, with its reason.
inline DbError value_not_stored(std::string reason) {
  return DbError(ErrorCode::ErrorsOccurred, kErrorsOccurredText, std::move(reason));
}

}  // namespace halvaro::db
