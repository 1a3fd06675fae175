#include "db/recordset.h"

#include <cctype>
#include <optional>

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

// How a source text reads: a bare name, "Select * from" one table with or without a
// WHERE clause, or any other query.
struct SourceShape {
  std::string table;  // the one table named, or empty
  bool whole_table = false;  // no WHERE: every row of the table
};

// Reads the source text word by word: [Select * from] NAME [where ...].
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  void blanks() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool word(std::string_view expected) {  // a keyword, without regard to case
    blanks();
    size_t end = at_;
    while (end < text_.size() && !std::isspace(static_cast<unsigned char>(text_[end]))) ++end;
    if (lower(text_.substr(at_, end - at_)) != expected) return false;
    at_ = end;
    return true;
  }
  std::optional<std::string> name() {  // an identifier or a [bracketed name]
    blanks();
    if (at_ < text_.size() && text_[at_] == '[') {
      size_t close = text_.find(']', at_);
      if (close == std::string_view::npos) return std::nullopt;
      std::string out(text_.substr(at_ + 1, close - at_ - 1));
      at_ = close + 1;
      return out;
    }
    size_t end = at_;
    while (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '_' ||
                                  text_[end] == '$'))
      ++end;
    if (end == at_ || std::isdigit(static_cast<unsigned char>(text_[at_]))) return std::nullopt;
    std::string out(text_.substr(at_, end - at_));
    at_ = end;
    return out;
  }
  bool done() {
    blanks();
    return at_ == text_.size();
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

SourceShape shape_of(std::string_view source) {
  SourceShape shape;
  Scanner bare(source);
  if (auto name = bare.name(); name && bare.done()) return {*name, true};
  Scanner query(source);
  if (!query.word("select") || !query.word("*") || !query.word("from")) return shape;
  auto name = query.name();
  if (!name) return shape;
  if (query.done()) return {*name, true};
  if (query.word("where")) shape.table = *name;
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

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

template <class NameAt>
bool same_names(const Recordset::KnownColumns& known, size_t count, NameAt name_at) {
  if (!known.set || known.names.size() != count) return false;
  for (size_t i = 0; i < count; ++i)
    if (known.names[i] != name_at(i)) return false;
  return true;
}

template <class NameAt>
void remember_names(Recordset::KnownColumns& known, bool set, size_t count, NameAt name_at) {
  known.set = set;
  known.names.clear();
  for (size_t i = 0; i < count; ++i) known.names.push_back(name_at(i));
}

}  // namespace

std::string source_statement(std::string_view source) {
  while (!source.empty() && std::isspace(static_cast<unsigned char>(source.front()))) source.remove_prefix(1);
  while (!source.empty() && std::isspace(static_cast<unsigned char>(source.back()))) source.remove_suffix(1);
  return std::string(source);
}

Recordset::~Recordset() {
  if (connection_) end();
}

void Recordset::Open(const std::string& source, Connection& connection, int /*cursor_type*/, int /*lock_type*/,
                     int /*options*/) {
  if (connection_) throw DbError(ErrorCode::ObjectOpen, "Operation is not allowed when the object is open.");
  Store& store = connection.store();
  std::shared_ptr<const ResultView> rows;
  AppendTable* target = nullptr;
  size_t count = 0;
  std::string lazy;
  SourceShape shape;
  if (connection.access() == Access::Append) shape = shape_of(source);
  if (!shape.table.empty()) {
    target = &store.table(shape.table);
    if (shape.whole_table) {
      // Only whether the table is empty matters here; its rows are read if ever asked for.
      lazy = "Select * from [" + target->definition().name + "]";
      count = size_t(target->row_count());
    }
  }
  if (lazy.empty()) {
    rows = store.select(source_statement(source));
    count = rows->row_count();
  }

  keep_known_names(rows.get(), target);
  rows_ = std::move(rows);
  lazy_select_ = std::move(lazy);
  target_ = target;
  next_guess_ = 0;
  count_ = count;
  position_ = 0;
  new_row_.clear();
  on_new_row_ = pending_ = false;
  connection_ = &connection;
  connection.attach(this);
}

void Recordset::keep_known_names(const ResultView* rows, const AppendTable* target) {
  const std::vector<jet::Column>* table = target ? &target->definition().columns : nullptr;
  const size_t row_count = rows ? rows->column_count() : 0, table_count = table ? table->size() : 0;
  auto row_name = [&](size_t i) -> const std::string& { return rows->column_name(i); };
  auto table_name = [&](size_t i) -> const std::string& { return (*table)[i].name; };
  // Rows read later (lazily) are not known now: names found among them are not kept.
  const bool keep_rows = rows && same_names(known_row_columns_, row_count, row_name);
  const bool keep_table = table && same_names(known_table_columns_, table_count, table_name);
  if (keep_rows && keep_table) return;
  if (!keep_rows) ++rows_layout_;
  if (!keep_table) ++table_layout_;
  std::erase_if(known_names_, [&](const KnownName& known) { return known.new_row ? !keep_table : !keep_rows; });
  if (!keep_rows) remember_names(known_row_columns_, rows != nullptr, row_count, row_name);
  if (!keep_table) remember_names(known_table_columns_, table != nullptr, table_count, table_name);
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

std::shared_ptr<const ResultView> Recordset::snapshot() {
  require_open();
  rows();
  return rows_;
}

const ResultView& Recordset::rows() {
  if (!rows_) rows_ = connection_->store().select(lazy_select_);
  return *rows_;
}

size_t Recordset::column_of(std::string_view name) {
  for (size_t n = 0, i = next_guess_; n < known_names_.size(); ++n, i = i + 1 < known_names_.size() ? i + 1 : 0) {
    const KnownName& known = known_names_[i];
    if (known.new_row == on_new_row_ && known.name == name) {
      next_guess_ = i + 1 < known_names_.size() ? i + 1 : 0;
      return known.column;
    }
  }
  std::optional<size_t> found;
  if (on_new_row_) {
    const auto& columns = target_->definition().columns;
    for (size_t i = 0; i < columns.size() && !found; ++i)
      if (same_name(columns[i].name, name)) found = i;
  } else {
    const ResultView& view = rows();
    for (size_t i = 0; i < view.column_count() && !found; ++i)
      if (same_name(view.column_name(i), name)) found = i;
  }
  if (!found)
    throw DbError(ErrorCode::ItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested name or ordinal. (" +
                      std::string(name) + ")");
  known_names_.push_back({std::string(name), on_new_row_, *found});
  return *found;
}

Field Recordset::Fields(std::string_view name) { return Field(*this, FieldPosition(name)); }

void Recordset::require_field_row() const {
  require_open();
  if (!on_new_row_ && position_ >= count_) throw no_current_record();
}

size_t Recordset::FieldPosition(std::string_view name) {
  require_field_row();
  return column_of(name);
}

Field Recordset::FieldAt(size_t position) {
  require_field_row();
  if (position >= (on_new_row_ ? new_row_.size() : rows().column_count()))
    throw DbError(ErrorCode::ItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested name or ordinal. (" +
                      std::to_string(position) + ")");
  return Field(*this, position);
}

FieldValue Field::Value() const {
  Recordset& rs = recordset_;
  rs.require_open();
  if (rs.on_new_row_) return rs.new_row_[column_];
  if (rs.position_ >= rs.count_) throw no_current_record();
  return rs.rows().value(rs.position_, column_);
}

const jet::Column& Field::settable_column() const {
  Recordset& rs = recordset_;
  rs.require_open();
  if (!rs.pending_)
    throw DbError(ErrorCode::ReadOnly, "Only a new row can be changed: call AddNew before setting a field.");
  return rs.target_->definition().columns[column_];
}

void Field::SetValue(const FieldValue& value) {
  recordset_.new_row_[column_] = to_column(value, settable_column());
}

void Field::SetValue(FieldValue&& value) {
  recordset_.new_row_[column_] = to_column(std::move(value), settable_column());
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
