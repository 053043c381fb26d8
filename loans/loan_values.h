#ifndef MAV_LOANS_LOAN_VALUES_H_
#define MAV_LOANS_LOAN_VALUES_H_

// Small reads and checked arithmetic shared by the loan computations.

#include <cstdint>
#include <string>

#include "data/record_set.h"
#include "data/value.h"

namespace loans {

// "0000/00/00" and "" both stand for no date.
bool IsMissingDate(const std::string& date);

// Days between two BS dates, whichever is earlier; the caller's dates are not touched.
// Throws AgentError kMissingDate when either is missing.
std::int32_t DaysBetween(std::string a, std::string b);

// The earlier of two date texts (character order is date order).
const std::string& EarlierDate(const std::string& a, const std::string& b);

// a / b for amounts and rates. Throws kDivisionByZero when b is 0 and kOverflow when the
// quotient leaves the range of a double.
double Divide(double a, double b);

// x itself; throws kOverflow when an amount computation left the range of a double.
double Finite(double x);

// The numeric value of a field's text ("12000", "12.5"), as the loan rows are read.
// Throws kInvalidUseOfNull for Null.
double NumberOfText(const data::Value& value);

// The field as text; throws kInvalidUseOfNull for Null.
std::string RequiredText(const data::Value& value);

// The field as a number, Null counting as 0.
double NumberOrZero(const data::Value& value);

// A date field as text, Null reading as "0000/00/00".
std::string DateOrNone(const data::Value& value);

// True when the set has a current row (it is neither before the first nor past the last).
bool HasRow(const data::RecordSet& set);

// An account code or key in plain decimal, as it is spliced into a statement.
std::string Decimal(std::int64_t code);

}  // namespace loans

#endif  // MAV_LOANS_LOAN_VALUES_H_
