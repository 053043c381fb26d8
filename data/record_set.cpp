#include "data/record_set.h"

#include <strings.h>

#include "base/agent_error.h"

namespace data {

void RecordSet::Open(Connection& connection, const std::string& sql, CursorType cursor, LockType) {
  Close();
  types_.clear();
  current_ = 0;
  if (location_ == CursorLocation::kServer && cursor == CursorType::kForwardOnly) {
    cursor_ = connection.OpenCursor(sql);
    forward_only_ = true;
    names_ = cursor_->columns();
    fetched_ = 0;
    Fetch();
  } else {
    forward_only_ = false;
    QueryResult result = connection.QueryFirstRows(sql, max_records_);
    names_ = std::move(result.columns);
    rows_ = std::move(result.rows);
  }
  open_ = true;
}

void RecordSet::Fetch() {
  rows_.resize(1);
  if (cursor_ && (max_records_ <= 0 || fetched_ < max_records_)) {
    try {
      if (cursor_->Next(rows_[0])) {
        ++fetched_;
        return;
      }
    } catch (...) {
      cursor_.reset();
      rows_.clear();
      throw;
    }
  }
  cursor_.reset();  // past the last row: the connection's cursor is let go at once
  rows_.clear();
}

void RecordSet::AppendField(const std::string& name, FieldType type) {
  if (open_)
    throw base::AgentError(base::kDatabaseError, "Fields cannot be appended to an open record set");
  names_.push_back(name);
  types_.push_back(type);
}

void RecordSet::Open() {
  forward_only_ = false;
  cursor_.reset();
  rows_.clear();
  current_ = 0;
  open_ = true;
}

void RecordSet::AddNew() {
  if (!open_) throw base::AgentError(base::kDatabaseError, "The record set is not open");
  rows_.emplace_back(names_.size());
  current_ = static_cast<std::int64_t>(rows_.size()) - 1;
}

namespace {

// In-memory fields hold their declared type, as the appended field would convert it.
Value Coerce(FieldType type, Value value) {
  if (value.IsNull()) return value;
  switch (type) {
    case FieldType::kBigInt:
      return Value(value.AsInt64());
    case FieldType::kDouble:
      return Value(value.AsDouble());
    case FieldType::kText:
      return Value(value.AsText());
  }
  return value;
}

}  // namespace

void RecordSet::SetValue(std::string_view name, Value value) {
  SetValue(FieldIndex(name), std::move(value));
}

void RecordSet::SetValue(int position, Value value) {
  CheckCurrent();
  if (position < 0 || position >= FieldCount()) {
    throw base::AgentError(base::kFieldNotFound,
                           "Item cannot be found: field position " + std::to_string(position));
  }
  if (position < static_cast<int>(types_.size())) {
    value = Coerce(types_[position], std::move(value));
  }
  rows_[current_][position] = std::move(value);
}

void RecordSet::Update() {}

void RecordSet::Close() {
  open_ = false;
  cursor_.reset();
  rows_.clear();
  current_ = 0;
}

bool RecordSet::Eof() const {
  return rows_.empty() || current_ >= static_cast<std::int64_t>(rows_.size());
}

// A forward-only set is never before its first row, but an empty one is at both ends.
bool RecordSet::Bof() const {
  return forward_only_ ? fetched_ == 0 : rows_.empty() || current_ < 0;
}

std::int64_t RecordSet::RecordCount() const {
  if (forward_only_) return -1;
  return static_cast<std::int64_t>(rows_.size());
}

void RecordSet::MoveNext() {
  if (Eof())
    throw base::AgentError(base::kNoCurrentRecord, "Either BOF or EOF is True: cannot move next");
  if (forward_only_) {
    Fetch();
    return;
  }
  ++current_;
}

void RecordSet::CheckBackward(const char* move) const {
  if (forward_only_) {
    throw base::AgentError(base::kOperationNotAllowed,
                           std::string("Rowset does not support fetching backward: cannot ") +
                               move + " on a forward-only set");
  }
}

void RecordSet::MovePrevious() {
  CheckBackward("move previous");
  if (Bof()) {
    throw base::AgentError(base::kNoCurrentRecord,
                           "Either BOF or EOF is True: cannot move previous");
  }
  --current_;
}

void RecordSet::MoveFirst() {
  CheckBackward("move first");
  current_ = 0;
}

void RecordSet::MoveLast() {
  CheckBackward("move last");
  current_ = rows_.empty() ? 0 : static_cast<std::int64_t>(rows_.size()) - 1;
}

int RecordSet::FieldCount() const { return static_cast<int>(names_.size()); }

const std::string& RecordSet::FieldName(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw base::AgentError(base::kFieldNotFound,
                           "Item cannot be found: field position " + std::to_string(position));
  }
  return names_[position];
}

const Value& RecordSet::Field(std::string_view name) const { return Field(FieldIndex(name)); }

const Value& RecordSet::Field(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw base::AgentError(base::kFieldNotFound,
                           "Item cannot be found: field position " + std::to_string(position));
  }
  CheckCurrent();
  return rows_[current_][position];
}

int RecordSet::FieldIndex(std::string_view name) const {
  for (int i = 0; i < FieldCount(); ++i) {
    if (names_[i].size() == name.size() &&
        strncasecmp(names_[i].data(), name.data(), name.size()) == 0) {
      return i;
    }
  }
  throw base::AgentError(base::kFieldNotFound, "Item cannot be found in the collection: field '" +
                                                   std::string(name) + "'");
}

void RecordSet::CheckCurrent() const {
  if (Eof() || Bof()) {
    throw base::AgentError(base::kNoCurrentRecord,
                           "Either BOF or EOF is True, or the current record has been deleted");
  }
}

}  // namespace data
