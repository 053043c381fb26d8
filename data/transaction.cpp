#include "data/connection.h"

namespace data {

Transaction::Transaction(Connection& connection) : connection_(connection) {
  connection_.BeginTransaction();
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    connection_.Rollback();
  } catch (...) {
    // A rollback that fails during unwinding cannot be reported; the original error is
    // on its way to the caller and the connection is left as the driver left it.
  }
}

void Transaction::Commit() {
  connection_.Commit();
  done_ = true;
}

std::string SqlText(const std::string& text) {
  // A NUL would end the statement early in every driver's C interface: it is left out.
  // Ill-formed UTF-8 stays as it is (an SQLite catalog keeps such bytes as they were
  // written); every conversion to another encoding decodes strictly, so no byte sequence
  // here can become a quote after the quoting.
  std::string out = "'";
  for (char c : text) {
    if (c == '\0') continue;
    if (c == '\'') out += '\'';
    out += c;
  }
  out += '\'';
  return out;
}

}  // namespace data
