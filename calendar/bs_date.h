#ifndef MAV_CALENDAR_BS_DATE_H_
#define MAV_CALENDAR_BS_DATE_H_

#include <chrono>
#include <cstdint>
#include <string>

// Bikram Sambat (BS) dates as texts "yyyy/mm/dd": every field has a fixed width, so texts
// compare in date order. "0000/00/00" and "" stand for no date. The calendar covers
// BS 1500/01/01 (AD 1443/04/05) to BS 5000/12/31 (AD 4944/05/31).
namespace calendar {

constexpr int kFirstBsYear = 1500;
constexpr int kLastBsYear = 5000;

// Days of BS month `month` (1..12) of `year` (1500..5000): 29 to 32.
// Throws AgentError kSubscriptOutOfRange for a year or month outside the table.
std::uint8_t BsMonthDays(int year, int month);

// The month-length table is computed when the program is compiled, so it is always ready;
// EnsureCalendarTables and BuildCalendarTables do nothing and stay for callers that make sure
// of the table before reading it.
bool CalendarReady();
void EnsureCalendarTables();
void BuildCalendarTables();

// "Baishakh" .. "Chaitra" for months 1..12; throws kSubscriptOutOfRange otherwise.
const std::string& BsMonthName(int month);

// The BS date of an AD date text: "yyyy/mm/dd" or "yyyy-mm-dd" (a time of day may follow and
// is ignored) or "m/d/yyyy" (month first). Throws kTypeMismatch when the text is not a date,
// kSubscriptOutOfRange when the day lies outside the calendar.
std::string AdToBs(const std::string& ad_date);

// The BS date of an AD calendar day. Throws kTypeMismatch for an invalid day (2023/02/30),
// kSubscriptOutOfRange before AD 1443/04/05 or after AD 4944/05/31.
std::string AdToBs(std::chrono::year_month_day ad_date);

// Today's BS date: the local calendar day of `now`.
std::string TodayBs(std::chrono::system_clock::time_point now);

// The date text "yyyy/mm/dd" of a year, month and day (month and day as two digits).
std::string FormatBsDate(int year, int month, int day);

// The date `days` days after `date` (before it when `days` is negative). A day past the end
// of its month counts on into the next month. Throws kTypeMismatch when a field of `date` is
// not a number, kSubscriptOutOfRange when its year or month or the result lies outside the
// calendar, kOverflow when day + days does not fit 32 bits.
std::string BsAddDays(const std::string& date, std::int32_t days);

// The date `months` whole months after `date` (before it when negative); a day past the
// new month's end becomes its last day. Throws kTypeMismatch when a field of `date` is not a
// number, kOverflow when month + months does not fit 32 bits or the new year 16 bits,
// kSubscriptOutOfRange when the new month lies outside the calendar.
std::string BsAddMonths(const std::string& date, std::int32_t months);

// Days from the earlier to the later of `a` and `b` (0 for the same date). On return `a`
// holds the earlier and `b` the later date: they are exchanged when given in descending
// order. Fields are read as the numeric value of their leading digits and day numbers are
// taken as they stand (2080/03/32 counts as 2080/04/01). Throws kMissingDate when either date
// is "" or "0000/00/00" (after the exchange; nothing else is written), kSubscriptOutOfRange
// for a year or month outside the calendar.
std::int32_t BsDaysBetween(std::string& a, std::string& b);

// Whole months from the earlier to the later date (the last month counts only when its day
// is reached); never negative. Does not read the month table. Throws kOverflow above 32,767.
double BsMonthsBetween(std::string a, std::string b);

}  // namespace calendar

#endif  // MAV_CALENDAR_BS_DATE_H_
