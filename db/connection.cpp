#include "db/connection.h"

#include <algorithm>
#include <cctype>

#include "db/errors.h"
#include "db/recordset.h"

namespace halvaro::db {
namespace {

std::string trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

bool same_word(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::string data_source_of(const std::string& connection_text) {
  std::string provider, source;
  bool has_source = false;
  size_t at = 0;
  while (at < connection_text.size()) {
    size_t equals = connection_text.find('=', at);
    size_t semicolon = connection_text.find(';', at);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      if (!trim(std::string_view(connection_text).substr(at, semicolon - at)).empty())
        throw DbError(ErrorCode::ConnectionText, "Format of the initialization string does not conform to the "
                                                 "OLE DB specification.");
      at = semicolon == std::string::npos ? connection_text.size() : semicolon + 1;
      continue;
    }
    std::string key = trim(std::string_view(connection_text).substr(at, equals - at));
    size_t value_start = equals + 1;
    while (value_start < connection_text.size() && connection_text[value_start] == ' ') ++value_start;
    std::string value;
    if (value_start < connection_text.size() && connection_text[value_start] == '"') {
      // A quote inside a quoted value is written twice.
      size_t close = value_start + 1;
      for (;; ++close) {
        close = connection_text.find('"', close);
        if (close == std::string::npos)
          throw DbError(ErrorCode::ConnectionText, "Unmatched quote in the connection text.");
        if (close + 1 < connection_text.size() && connection_text[close + 1] == '"') {
          value += connection_text.substr(value_start + 1, close - value_start);
          value_start = ++close;
          continue;
        }
        break;
      }
      value += connection_text.substr(value_start + 1, close - value_start - 1);
      size_t end = connection_text.find(';', close);
      at = end == std::string::npos ? connection_text.size() : end + 1;
    } else {
      size_t end = connection_text.find(';', value_start);
      value = trim(std::string_view(connection_text).substr(value_start, end == std::string::npos
                                                                             ? std::string::npos
                                                                             : end - value_start));
      at = end == std::string::npos ? connection_text.size() : end + 1;
    }
    if (same_word(key, "Provider")) provider = value;
    if (same_word(key, "Data Source")) source = value, has_source = true;
  }
  if (!same_word(provider, "Microsoft.Jet.OLEDB.4.0"))
    throw DbError(ErrorCode::ProviderNotFound,
                  "Provider cannot be found. It may not be properly installed. (provider \"" + provider + "\")");
  if (!has_source || source.empty())
    throw DbError(ErrorCode::ConnectionText, "The connection text names no database file (Data Source).");
  return source;
}

std::string connection_text_for(const std::string& path) {
  // Quoted only where the plain form would not read back as the same path.
  auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  bool quote = path.find(';') != std::string::npos ||
               (!path.empty() && (blank(path.front()) || blank(path.back()) || path.front() == '"'));
  std::string value = path;
  if (quote) {
    value = "\"";
    for (char c : path) value += c == '"' ? std::string("\"\"") : std::string(1, c);
    value += "\"";
  }
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = " + value + ";Persist Security Info=False";
}

Connection::Connection(Access access, StoreOpener opener) : access_(access), opener_(std::move(opener)) {}

Connection::~Connection() {
  for (Recordset* recordset : std::vector<Recordset*>(recordsets_)) recordset->end();
  if (store_) {
    try {
      store_->close();
    } catch (...) {  // nothing to report to any more
    }
  }
}

void Connection::Open(const std::string& connection_text, const std::string& /*user*/,
                      const std::string& /*password*/, int /*options*/) {
  if (store_) throw DbError(ErrorCode::ObjectOpen, "Operation is not allowed when the object is open.");
  std::string text = connection_text.empty() ? last_text_ : connection_text;
  if (text.empty()) throw DbError(ErrorCode::ConnectionText, "The connection has never been opened.");
  std::string path = data_source_of(text);
  store_ = opener_(path, access_);
  last_text_ = text;
  path_ = path;
}

void Connection::Close() {
  if (!store_) throw DbError(ErrorCode::ObjectClosed, "Operation is not allowed when the object is closed.");
  for (Recordset* recordset : std::vector<Recordset*>(recordsets_)) recordset->end();
  std::unique_ptr<Store> store = std::move(store_);
  store->close();
}

Store& Connection::store() {
  if (!store_) throw DbError(ErrorCode::ObjectClosed, "Operation is not allowed when the object is closed.");
  return *store_;
}

void Connection::attach(Recordset* recordset) { recordsets_.push_back(recordset); }

void Connection::detach(Recordset* recordset) { std::erase(recordsets_, recordset); }

}  // namespace halvaro::db
