// Whole-calendar checks: the month-length data against its patterns and every day from
// BS 1500/01/01 to BS 5000/12/31 through the date routines.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "calendar/bs_date.h"

namespace {

using calendar::kFirstBsYear;
using calendar::kLastBsYear;

// The thirteen month-length patterns, with the number of years 1500..5000 that use each.
const struct {
  char letter;
  int days[12];
  int years;
} kPatterns[] = {
    {'A', {30, 32, 31, 32, 31, 30, 30, 30, 29, 30, 29, 31}, 184},
    {'B', {30, 32, 31, 32, 31, 31, 29, 30, 29, 30, 29, 31}, 69},
    {'C', {30, 32, 31, 32, 31, 31, 29, 30, 30, 29, 29, 31}, 5},
    {'D', {31, 31, 31, 32, 31, 31, 29, 30, 30, 29, 29, 31}, 109},
    {'E', {31, 31, 31, 32, 31, 31, 29, 30, 30, 29, 30, 30}, 207},
    {'F', {31, 31, 31, 32, 31, 31, 30, 29, 30, 29, 30, 30}, 211},
    {'G', {31, 31, 32, 31, 31, 31, 30, 29, 30, 29, 30, 30}, 1002},
    {'H', {31, 31, 32, 31, 32, 30, 30, 29, 30, 29, 30, 30}, 53},
    {'I', {31, 31, 32, 32, 31, 30, 30, 29, 30, 29, 30, 30}, 446},
    {'J', {31, 32, 31, 32, 31, 30, 30, 29, 30, 29, 30, 30}, 101},
    {'K', {31, 32, 31, 32, 31, 30, 30, 30, 29, 29, 30, 30}, 207},
    {'L', {31, 32, 31, 32, 31, 30, 30, 30, 29, 29, 30, 31}, 654},
    {'M', {31, 32, 31, 32, 31, 30, 30, 30, 29, 30, 29, 31}, 253},
};

// The pattern letter of a year as the table gives it, '?' when no pattern matches.
char PatternLetter(int year) {
  for (const auto& p : kPatterns) {
    bool same = true;
    for (int m = 1; m <= 12 && same; ++m) same = calendar::BsMonthDays(year, m) == p.days[m - 1];
    if (same) return p.letter;
  }
  return '?';
}

int YearLength(int year) {
  int days = 0;
  for (int m = 1; m <= 12; ++m) days += calendar::BsMonthDays(year, m);
  return days;
}

TEST(BsCalendarTable, EveryYearUsesOnePatternInTheGivenCounts) {
  std::vector<int> counts(sizeof kPatterns / sizeof kPatterns[0], 0);
  for (int year = kFirstBsYear; year <= kLastBsYear; ++year) {
    const char letter = PatternLetter(year);
    ASSERT_NE('?', letter) << "year " << year;
    ++counts[letter - 'A'];
  }
  for (const auto& p : kPatterns) {
    SCOPED_TRACE(std::string(1, p.letter));
    EXPECT_EQ(p.years, counts[p.letter - 'A']);
  }
}

TEST(BsCalendarTable, NamedYearsUseTheirPatterns) {
  const struct {
    int year;
    char letter;
  } kCases[] = {
      {1500, 'G'}, {1501, 'L'}, {2499, 'G'}, {2500, 'G'}, {2655, 'J'}, {3655, 'J'}, {4655, 'J'},
      {2684, 'F'}, {2686, 'K'}, {2778, 'G'}, {3116, 'A'}, {4116, 'A'}, {4024, 'F'}, {4035, 'D'},
      {4778, 'H'}, {4863, 'I'}, {4887, 'K'}, {4888, 'M'}, {5000, 'A'},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(c.letter, PatternLetter(c.year));
  }
  std::vector<int> pattern_c;
  for (int year = kFirstBsYear; year <= kLastBsYear; ++year) {
    if (PatternLetter(year) == 'C') pattern_c.push_back(year);
  }
  EXPECT_EQ((std::vector<int>{2035, 2896, 3035, 3896, 4896}), pattern_c);
}

TEST(BsCalendarTable, LongYearsAreThreeOrFourYearsApart) {
  int previous_long = 0;
  long total = 0;
  for (int year = kFirstBsYear; year <= kLastBsYear; ++year) {
    const int length = YearLength(year);
    total += length;
    ASSERT_TRUE(length == 365 || length == 366) << "year " << year;
    if (length == 366) {
      if (previous_long != 0) {
        const int gap = year - previous_long;
        EXPECT_TRUE(gap == 3 || gap == 4) << "366-day years " << previous_long << " and " << year;
      }
      previous_long = year;
    }
  }
  EXPECT_EQ(1278772, total);
}

std::string Text(int year, int month, int day) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", year, month, day);
  return buf;
}

// Every day of the calendar, counted from BS 1500/01/01 (AD 1443/04/05): BsAddDays gives the
// next date of a plain day-by-day count, BsDaysBetween counts back to the day number, AdToBs
// of the AD day with the same distance from the anchor gives the same date.
TEST(BsCalendarWalk, EveryDayRoundTrips) {
  using namespace std::chrono;
  const std::string start = "1500/01/01";
  const sys_days anchor{year{1443} / 4 / 5};
  int y = kFirstBsYear, m = 1, d = 1;  // the date of day n, stepped one day at a time
  int length = calendar::BsMonthDays(y, m);
  std::string previous;
  int failures = 0;
  const std::int32_t kDays = 1278772;
  for (std::int32_t n = 0; n < kDays && failures < 5; ++n) {
    const std::string want = Text(y, m, d);
    const std::string got = calendar::BsAddDays(start, n);
    if (got != want) {
      ADD_FAILURE() << "BsAddDays(" << start << ", " << n << ") = " << got << ", want " << want;
      ++failures;
    }
    std::string a = start, b = got;
    const std::int32_t back = calendar::BsDaysBetween(a, b);
    if (back != n) {
      ADD_FAILURE() << "BsDaysBetween(" << start << ", " << got << ") = " << back << ", want " << n;
      ++failures;
    }
    const std::string from_ad = calendar::AdToBs(year_month_day{anchor + days{n}});
    if (from_ad != want) {
      ADD_FAILURE() << "AdToBs(anchor + " << n << ") = " << from_ad << ", want " << want;
      ++failures;
    }
    if (!previous.empty() && calendar::BsAddDays(previous, 1) != want) {
      ADD_FAILURE() << previous << " + 1 = " << calendar::BsAddDays(previous, 1) << ", want "
                    << want;
      ++failures;
    }
    previous = want;
    if (++d > length) {
      d = 1;
      if (++m > 12) {
        m = 1;
        ++y;
      }
      if (y <= kLastBsYear) length = calendar::BsMonthDays(y, m);
    }
  }
  EXPECT_EQ(0, failures);
  EXPECT_EQ(kLastBsYear + 1, y);  // the walk ended exactly after BS 5000/12/31
  EXPECT_EQ("5000/12/31", previous);
}

// The AD text forms agree with the day count on a sample of days spread over the calendar.
TEST(BsCalendarWalk, AdTextsAgreeWithDayCount) {
  using namespace std::chrono;
  const sys_days anchor{year{1443} / 4 / 5};
  for (std::int32_t n = 0; n < 1278772; n += 997) {
    const year_month_day ad{anchor + days{n}};
    char iso[16], us[16];
    std::snprintf(iso, sizeof iso, "%04d-%02u-%02u", int{ad.year()}, unsigned{ad.month()},
                  unsigned{ad.day()});
    std::snprintf(us, sizeof us, "%u/%u/%04d", unsigned{ad.month()}, unsigned{ad.day()},
                  int{ad.year()});
    const std::string want = calendar::BsAddDays("1500/01/01", n);
    ASSERT_EQ(want, calendar::AdToBs(std::string(iso))) << iso;
    ASSERT_EQ(want, calendar::AdToBs(std::string(us))) << us;
  }
}

// Adding and then subtracting the same count returns to the start, across many step sizes.
TEST(BsCalendarWalk, AddingBackAndForthReturns) {
  const std::int32_t kSteps[] = {1, 29, 30, 31, 32, 365, 366, 1000, 100000};
  for (std::int32_t step : kSteps) {
    SCOPED_TRACE(step);
    for (std::int32_t n = 0; n + step < 1278772; n += 7919) {
      const std::string from = calendar::BsAddDays("1500/01/01", n);
      const std::string to = calendar::BsAddDays(from, step);
      ASSERT_EQ(from, calendar::BsAddDays(to, -step)) << from;
      std::string a = to, b = from;
      ASSERT_EQ(step, calendar::BsDaysBetween(a, b)) << from;
    }
  }
}

}  // namespace
