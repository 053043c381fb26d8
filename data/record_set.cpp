#include "data/record_set.h"

#include <strings.h>

#include "base/agent_error.h"

namespace data {

void RecordSet::Open(Connection& connection, const std::string& sql, CursorType, LockType) {
  QueryResult result = connection.QueryFirstRows(sql, max_records_);
  names_ = std::move(result.columns);
  rows_ = std::move(result.rows);
  types_.clear();
  current_ = 0;
  open_ = true;
}

void RecordSet::AppendField(const std::string& name, FieldType type) {
  if (open_)
    throw base::AgentError(base::kDatabaseError, "Fields cannot be appended to an open record set");
  names_.push_back(name);
  types_.push_back(type);
}

void RecordSet::Open() {
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
  rows_.clear();
  current_ = 0;
}

bool RecordSet::Eof() const {
  return rows_.empty() || current_ >= static_cast<std::int64_t>(rows_.size());
}

bool RecordSet::Bof() const { return rows_.empty() || current_ < 0; }

std::int64_t RecordSet::RecordCount() const { return static_cast<std::int64_t>(rows_.size()); }

void RecordSet::MoveNext() {
  if (Eof())
    throw base::AgentError(base::kNoCurrentRecord, "Either BOF or EOF is True: cannot move next");
  ++current_;
}

void RecordSet::MovePrevious() {
  if (Bof()) {
    throw base::AgentError(base::kNoCurrentRecord,
                           "Either BOF or EOF is True: cannot move previous");
  }
  --current_;
}

void RecordSet::MoveFirst() { current_ = 0; }

void RecordSet::MoveLast() {
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
