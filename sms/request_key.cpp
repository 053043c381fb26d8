#include "sms/request_key.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"

namespace sms {

namespace {

bool SameName(const std::string& a, const char* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != 0; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return i == a.size() && b[i] == 0;
}

// The serial and the other columns the row has: a request table created by the accounting
// application before the agent's time may lack Mobile, and such a row is still a request.
RequestKey KeyOf(const char* table, const data::RecordSet& row, const char* serial,
                 std::initializer_list<const char*> others) {
  RequestKey key;
  key.table = table;
  key.fields.emplace_back(serial, row.Field(serial));
  for (const char* column : others) {
    for (int i = 0; i < row.FieldCount(); ++i) {
      if (SameName(row.FieldName(i), column)) {
        key.fields.emplace_back(column, row.Field(i));
        break;
      }
    }
  }
  return key;
}

}  // namespace

std::string KeyLiteral(const data::Value& value) {
  const data::Value::Variant& raw = value.raw();
  if (const auto* text = std::get_if<std::string>(&raw)) return data::SqlText(*text);
  if (const auto* whole = std::get_if<std::int64_t>(&raw)) return std::to_string(*whole);
  if (const auto* flag = std::get_if<bool>(&raw)) return *flag ? "1" : "0";
  if (const auto* x = std::get_if<double>(&raw)) {
    // A whole number below 2^53 is written with all its digits: the shortest text keeps
    // only 15, and 9841000001234567 must not become ...4570.
    if (std::trunc(*x) == *x && std::fabs(*x) < 9007199254740992.0) {
      return std::to_string(static_cast<std::int64_t>(*x));
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", *x);
    return text;
  }
  return "Null";
}

std::string RequestKey::Where() const {
  std::string where;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto& [column, value] = fields[i];
    if (i == 0) {
      // The serial must be a whole number: 1.5 would otherwise be compared as it stands and
      // the row could never be answered, or be rounded and name another row.
      const auto* x = std::get_if<double>(&value.raw());
      if (value.IsNull() || (x != nullptr && std::trunc(*x) != *x)) {
        throw base::AgentError(
            value.IsNull() ? base::kInvalidUseOfNull : base::kTypeMismatch,
            table + "." + column + " " +
                (value.IsNull() ? "is Null" : value.AsText() + " is not a whole number"));
      }
    } else {
      where += " and ";
    }
    where += "[" + column + "]";
    where += value.IsNull() ? " is null" : "=" + KeyLiteral(value);
  }
  return where;
}

std::vector<std::string> RequestKey::Texts() const {
  std::vector<std::string> texts;
  texts.reserve(fields.size());
  for (const auto& field : fields) {
    const data::Value& v = field.second;
    // Numbers as in a key condition, so that 101 read as 101.0 is the same request.
    texts.push_back(v.IsNull() ? std::string() : v.IsText() ? v.AsText() : KeyLiteral(v));
  }
  return texts;
}

std::string RequestKey::Describe() const {
  const std::vector<std::string> texts = Texts();
  std::string out = table;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i == 0) {
      out += " " + fields[0].first + " " + texts[0] + " (";
    } else {
      out += (i > 1 ? ", " : "") + texts[i];
    }
  }
  return out + ")";
}

RequestKey SimRequestKey(const data::RecordSet& row) {
  return KeyOf("LoanSMS", row, "SN", {"Mobile", "Accode", "Date"});
}

RequestKey InternetRequestKey(const data::RecordSet& row) {
  return KeyOf("SMSService", row, "SN", {"Customer_ID", "Mobile", "Date"});
}

RequestKey StatementRequestKey(const data::RecordSet& row) {
  return KeyOf("LoanStatement", row, "SN", {"Accode", "Mobile", "Date"});
}

}  // namespace sms
