#ifndef MAV_DATA_RECORD_SET_H_
#define MAV_DATA_RECORD_SET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "data/value.h"

namespace data {

// Cursor and lock types, with the numbers of the system's record sets. The result of a
// query is read whole when it is opened (a client-side snapshot), so every combination
// behaves the same: record count known, moves in both directions, later updates unseen.
enum class CursorType : int { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3 };

// Field types of in-memory record sets.
enum class FieldType : int { kDouble = 5, kText = 8, kBigInt = 20 };

// Rows of a query, or an in-memory table with appended fields.
//
// Position: after Open the current row is the first one. Eof() is true past the last row,
// Bof() before the first; both are true on an empty set. Reading a field with no current
// row throws kNoCurrentRecord; an unknown field name or position throws kFieldNotFound.
// Field names match without regard to letter case.
class RecordSet {
 public:
  RecordSet() = default;

  // Limits the rows the next Open reads (0, the default: all), for queries of which only
  // the first rows are looked at.
  void SetMaxRecords(std::int64_t max_records) { max_records_ = max_records; }

  // Opens a query on `connection` and reads its whole result (see SetMaxRecords).
  void Open(Connection& connection, const std::string& sql,
            CursorType cursor = CursorType::kForwardOnly, LockType lock = LockType::kReadOnly);

  // In-memory sets: append fields before Open(), then AddNew / SetValue / Update per row.
  void AppendField(const std::string& name, FieldType type);
  void Open();
  void AddNew();  // starts a new row at the end (all Null) and makes it current
  void SetValue(std::string_view name, Value value);
  void SetValue(int position, Value value);
  void Update();  // saves the row begun by AddNew (a no-op when none is pending)

  void Close();
  bool IsOpen() const { return open_; }

  bool Eof() const;
  bool Bof() const;
  std::int64_t RecordCount() const;
  void MoveNext();
  void MovePrevious();
  void MoveFirst();
  void MoveLast();

  int FieldCount() const;
  const std::string& FieldName(int position) const;
  const Value& Field(std::string_view name) const;
  const Value& Field(int position) const;

 private:
  int FieldIndex(std::string_view name) const;
  void CheckCurrent() const;

  bool open_ = false;
  std::int64_t max_records_ = 0;
  std::vector<std::string> names_;
  std::vector<FieldType> types_;  // in-memory sets only
  std::vector<std::vector<Value>> rows_;
  std::int64_t current_ = 0;  // -1 = before the first row, rows_.size() = past the last
};

}  // namespace data

#endif  // MAV_DATA_RECORD_SET_H_
