#include "db/recordset.h"

#include <cctype>
#include <regex>

#include "db/connection.h"
#include "db/convert.h"
#include "db/errors.h"
#include "db/value_text.h"

namespace halvaro::db {
namespace {

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return std::string(text);
}

// How a source text reads: a bare name, "Select * from" one table with or without a
// WHERE clause, or any other query.
struct SourceShape {
  std::string table;  // the one table named, or empty
  bool whole_table = false;  // no WHERE: every row of the table
};

SourceShape shape_of(const std::string& source) {
  static const std::regex bare(R"(^\s*(\[[^\]]+\]|[A-Za-z_][\w$]*)\s*$)");
  static const std::regex single(R"(^\s*select\s+\*\s+from\s+(\[[^\]]+\]|[A-Za-z_][\w$]*)\s*(where\s.*)?$)",
                                 std::regex::icase);
  std::smatch match;
  SourceShape shape;
  auto unbracket = [](std::string name) {
    return name.size() > 1 && name.front() == '[' ? name.substr(1, name.size() - 2) : name;
  };
  if (std::regex_match(source, match, bare)) {
    shape.table = unbracket(match[1].str());
    shape.whole_table = true;
  } else if (std::regex_match(source, match, single)) {
    shape.table = unbracket(match[1].str());
    shape.whole_table = !match[2].matched;
  }
  return shape;
}

DbError closed_error() {
  return DbError(ErrorCode::ObjectClosed, "Operation is not allowed when the object is closed.");
}

DbError no_current_record() {
  return DbError(ErrorCode::NoCurrentRecord,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
                 "requires a current record.");
}

std::unordered_map<std::string, size_t> name_index(size_t count, auto name_of) {
  std::unordered_map<std::string, size_t> index;
  for (size_t i = 0; i < count; ++i) index.emplace(lower(name_of(i)), i);
  return index;
}

}  // namespace

Recordset::~Recordset() {
  if (connection_) end();
}

void Recordset::Open(const std::string& source, Connection& connection, int /*cursor_type*/, int /*lock_type*/,
                     int /*options*/) {
  if (connection_) throw DbError(ErrorCode::ObjectOpen, "Operation is not allowed when the object is open.");
  Store& store = connection.store();
  SourceShape shape = shape_of(source);
  std::shared_ptr<const ResultView> rows;
  AppendTable* target = nullptr;
  size_t count = 0;
  std::string lazy;
  if (connection.access() == Access::Append && !shape.table.empty()) {
    target = &store.table(shape.table);
    if (shape.whole_table) {
      // Only whether the table is empty matters here; its rows are read if ever asked for.
      lazy = "Select * from [" + target->definition().name + "]";
      count = size_t(target->row_count());
    }
  }
  if (lazy.empty()) {
    rows = store.select(trim(source));
    count = rows->row_count();
  }

  rows_ = std::move(rows);
  lazy_select_ = std::move(lazy);
  target_ = target;
  row_columns_.clear();
  if (rows_) row_columns_ = name_index(rows_->column_count(), [&](size_t i) { return rows_->column_name(i); });
  target_columns_.clear();
  if (target_) {
    const auto& columns = target_->definition().columns;
    target_columns_ = name_index(columns.size(), [&](size_t i) { return columns[i].name; });
  }
  count_ = count;
  position_ = 0;
  new_row_.clear();
  on_new_row_ = pending_ = false;
  connection_ = &connection;
  connection.attach(this);
}

void Recordset::Close() {
  if (!connection_) throw closed_error();
  end();
}

void Recordset::end() {
  if (connection_) connection_->detach(this);
  connection_ = nullptr;
  rows_.reset();
  lazy_select_.clear();
  target_ = nullptr;
  new_row_.clear();
  on_new_row_ = pending_ = false;
  count_ = position_ = 0;
}

void Recordset::require_open() const {
  if (!connection_) throw closed_error();
}

bool Recordset::Bof() const {
  require_open();
  return count_ == 0 && !on_new_row_;
}

bool Recordset::Eof() const {
  require_open();
  return !on_new_row_ && position_ >= count_;
}

void Recordset::MoveFirst() {
  require_open();
  on_new_row_ = false;
  pending_ = false;
  position_ = 0;
}

void Recordset::MoveNext() {
  require_open();
  if (on_new_row_) {
    on_new_row_ = pending_ = false;
    position_ = count_;
    return;
  }
  if (position_ >= count_) throw no_current_record();
  ++position_;
}

void Recordset::AddNew() {
  require_open();
  if (!target_)
    throw DbError(ErrorCode::ReadOnly, "Current Recordset does not support updating. This may be a limitation "
                                       "of the provider, or of the selected locktype.");
  new_row_ = target_->new_row();
  on_new_row_ = pending_ = true;
}

void Recordset::Update() {
  require_open();
  if (!pending_) return;
  target_->append(new_row_);
  pending_ = false;
}

const ResultView& Recordset::rows() {
  if (!rows_) rows_ = connection_->store().select(lazy_select_);
  if (row_columns_.empty())
    row_columns_ = name_index(rows_->column_count(), [&](size_t i) { return rows_->column_name(i); });
  return *rows_;
}

Field Recordset::Fields(std::string_view name) {
  require_open();
  if (!on_new_row_) {
    if (position_ >= count_) throw no_current_record();
    rows();
  }
  const auto& columns = on_new_row_ ? target_columns_ : row_columns_;
  auto found = columns.find(lower(name));
  if (found == columns.end())
    throw DbError(ErrorCode::ItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested name or ordinal. (" +
                      std::string(name) + ")");
  return Field(*this, found->second);
}

FieldValue Field::Value() const {
  Recordset& rs = recordset_;
  rs.require_open();
  if (rs.on_new_row_) return rs.new_row_[column_];
  if (rs.position_ >= rs.count_) throw no_current_record();
  return rs.rows().value(rs.position_, column_);
}

void Field::SetValue(const FieldValue& value) {
  Recordset& rs = recordset_;
  rs.require_open();
  if (!rs.pending_)
    throw DbError(ErrorCode::ReadOnly, "Only a new row can be changed: call AddNew before setting a field.");
  rs.new_row_[column_] = to_column(value, rs.target_->definition().columns[column_]);
}

std::string Recordset::target_name() const { return target_ ? target_->definition().name : std::string(); }

std::string Recordset::new_row_key() const {
  if (!target_ || new_row_.empty()) return {};
  const auto& def = target_->definition();
  std::vector<size_t> key;
  for (const auto& index : def.indexes) {
    if (!index.primary) continue;
    for (const auto& column : index.columns) key.push_back(column.column);
  }
  if (key.empty()) {  // no primary key: the first columns usually identify the row
    for (size_t i = 0; i < new_row_.size() && key.size() < 5; ++i) {
      if (!def.columns[i].autonumber && !new_row_[i].is_null()) key.push_back(i);
    }
  }
  std::string out;
  for (size_t column : key) {
    if (column >= new_row_.size()) continue;
    if (!out.empty()) out += " / ";
    out += text_form(new_row_[column]);
  }
  return out;
}

}  // namespace halvaro::db
