#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/store.h"

namespace halvaro::db {

class Recordset;

// The file a connection text names: "Provider=Microsoft.Jet.OLEDB.4.0;Data Source = PATH;...".
// A value may be enclosed in double quotes (needed when the path holds a ';').
// Throws DbError for another provider or a text without a data source.
std::string data_source_of(const std::string& connection_text);

// The connection text for a file; the path is quoted only when it holds a ';' or starts
// or ends with a blank, which the plain form would lose.
std::string connection_text_for(const std::string& path);

// One database connection: open on one file at a time. The access mode is fixed when the
// connection is made; the source connection never writes to its file.
class Connection {
 public:
  Connection(Access access, StoreOpener opener);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Opens the file the text names; "" reopens with the text of the previous Open.
  // User name, password and options are accepted as the callers pass them ("", "", -1).
  void Open(const std::string& connection_text, const std::string& user, const std::string& password,
            int options);
  // Ends every recordset still open on the connection (a pending new row is discarded),
  // then makes the appended rows durable and releases the file.
  void Close();
  int State() const { return store_ ? 1 : 0; }

  Access access() const { return access_; }
  const std::string& path() const { return path_; }
  Store& store();

 private:
  friend class Recordset;
  void attach(Recordset* recordset);
  void detach(Recordset* recordset);

  Access access_;
  StoreOpener opener_;
  std::unique_ptr<Store> store_;
  std::string last_text_;
  std::string path_;
  std::vector<Recordset*> recordsets_;
};

}  // namespace halvaro::db
