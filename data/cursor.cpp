// The cursor of drivers that read a result whole: the rows handed out one at a time from
// memory. Such a cursor holds nothing of its connection, so it may be read however long.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/connection.h"

namespace data {
namespace {

class ResultCursor : public Cursor {
 public:
  explicit ResultCursor(QueryResult result) : rows_(std::move(result.rows)) {
    columns_ = std::move(result.columns);
  }

  bool Next(std::vector<Value>& row) override {
    if (next_ >= rows_.size()) {
      rows_.clear();
      rows_.shrink_to_fit();
      return false;
    }
    row = std::move(rows_[next_++]);
    return true;
  }

 private:
  std::vector<std::vector<Value>> rows_;
  std::size_t next_ = 0;
};

}  // namespace

std::unique_ptr<Cursor> Connection::OpenCursor(const std::string& sql) {
  return std::make_unique<ResultCursor>(Query(sql));
}

}  // namespace data
