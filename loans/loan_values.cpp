#include "loans/loan_values.h"

#include <cmath>

#include "base/agent_error.h"
#include "base/numbers.h"
#include "calendar/bs_date.h"

namespace loans {

bool IsMissingDate(const std::string& date) { return date.empty() || date == "0000/00/00"; }

std::int32_t DaysBetween(std::string a, std::string b) {
  if (IsMissingDate(a) || IsMissingDate(b)) {
    throw base::AgentError(base::kMissingDate,
                           "No day count from a missing date ('" + a + "' to '" + b + "')");
  }
  // The calendar puts its two arguments in order; these are copies, so no caller's date moves.
  return calendar::BsDaysBetween(a, b);
}

const std::string& EarlierDate(const std::string& a, const std::string& b) { return b < a ? b : a; }

double Divide(double a, double b) {
  if (b == 0.0) throw base::AgentError(base::kDivisionByZero, "Division by zero");
  return Finite(a / b);
}

double Finite(double x) {
  if (!std::isfinite(x)) throw base::AgentError(base::kOverflow, "Overflow");
  return x;
}

double NumberOfText(const data::Value& value) {
  if (value.IsNull()) throw base::AgentError(base::kInvalidUseOfNull, "Invalid use of Null");
  return base::LeadingNumber(value.AsText());
}

std::string RequiredText(const data::Value& value) {
  if (value.IsNull()) throw base::AgentError(base::kInvalidUseOfNull, "Invalid use of Null");
  return value.AsText();
}

double NumberOrZero(const data::Value& value) { return value.IsNull() ? 0.0 : value.AsDouble(); }

std::string DateOrNone(const data::Value& value) {
  return value.IsNull() ? std::string("0000/00/00") : value.AsText();
}

bool HasRow(const data::RecordSet& set) { return !set.Eof() && !set.Bof(); }

std::string Decimal(std::int64_t code) { return std::to_string(code); }

}  // namespace loans
