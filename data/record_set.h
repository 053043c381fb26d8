#ifndef MAV_DATA_RECORD_SET_H_
#define MAV_DATA_RECORD_SET_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "data/connection.h"
#include "data/value.h"

namespace data {

// Cursor and lock types, with the numbers of the system's record sets. With a client-side
// cursor (the default) the result of a query is read whole when it is opened, a snapshot,
// so every combination behaves the same: record count known, moves in both directions,
// later updates unseen.
enum class CursorType : int { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3 };

// Where a query's rows are kept, with the system's numbers. kClient: read whole at Open.
// kServer with a forward-only cursor: read one at a time as the set moves (Connection's
// Cursor), so a long result is never held whole; RecordCount is then -1 (not known) and the
// set only moves forward. Such a set holds its connection's cursor until it has passed its
// last row or is closed, so it is read within one unit of work and never kept across ticks.
enum class CursorLocation : int { kServer = 2, kClient = 3 };

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

  // Where the rows of the next Open are kept (kClient unless set).
  void SetCursorLocation(CursorLocation location) { location_ = location; }

  // Opens a query on `connection`: reads its whole result (see SetMaxRecords), or with a
  // server-side forward-only cursor only its first row.
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
  std::int64_t RecordCount() const;  // -1 when not known (server-side, forward-only)
  void MoveNext();
  // These throw kOperationNotAllowed on a server-side forward-only set.
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
  void CheckBackward(const char* move) const;
  void Fetch();  // the cursor's next row, or past the last one

  bool open_ = false;
  std::int64_t max_records_ = 0;
  CursorLocation location_ = CursorLocation::kClient;
  // A server-side forward-only set: rows_ holds the current row alone (none past the last).
  bool forward_only_ = false;
  std::unique_ptr<Cursor> cursor_;  // while rows are left to read
  std::int64_t fetched_ = 0;        // rows read from cursor_ so far
  std::vector<std::string> names_;
  std::vector<FieldType> types_;  // in-memory sets only
  std::vector<std::vector<Value>> rows_;
  std::int64_t current_ = 0;  // -1 = before the first row, rows_.size() = past the last
};

}  // namespace data

#endif  // MAV_DATA_RECORD_SET_H_
