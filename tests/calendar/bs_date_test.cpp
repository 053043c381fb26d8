#include "calendar/bs_date.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <string>

#include "base/agent_error.h"

namespace {

using calendar::AdToBs;
using calendar::BsAddDays;
using calendar::BsAddMonths;
using calendar::BsDaysBetween;
using calendar::BsMonthDays;
using calendar::BsMonthsBetween;

constexpr std::int32_t kMaxInt32 = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMinInt32 = std::numeric_limits<std::int32_t>::min();

// AD days from BS 2000/01/01 (AD 1943/04/14) to BS 2082/01/01 (AD 2025/04/14).
const std::int32_t kDays2000To2082 =
    static_cast<std::int32_t>((std::chrono::sys_days{std::chrono::year{2025} / 4 / 14} -
                               std::chrono::sys_days{std::chrono::year{1943} / 4 / 14})
                                  .count());

// The error number a call throws, or 0 when it returns.
template <typename F>
int ErrorOf(F&& f) {
  try {
    f();
  } catch (const base::AgentError& e) {
    return e.number();
  }
  return 0;
}

TEST(BsMonthDays, ReadsPatternsAtTableEdges) {
  EXPECT_EQ(31, BsMonthDays(1500, 1));   // G
  EXPECT_EQ(32, BsMonthDays(1501, 2));   // L
  EXPECT_EQ(31, BsMonthDays(5000, 12));  // A
  EXPECT_EQ(30, BsMonthDays(2035, 9));   // C
  EXPECT_EQ(29, BsMonthDays(2035, 10));
}

TEST(BsMonthDays, IndexOutsideTableFails) {
  const struct {
    int year, month;
  } kCases[] = {
      {1499, 1}, {5001, 1}, {2080, 0}, {2080, 13}, {0, 0}, {-1500, 1}, {1500, -1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::to_string(c.year) + "/" + std::to_string(c.month));
    EXPECT_EQ(base::kSubscriptOutOfRange, ErrorOf([&] { BsMonthDays(c.year, c.month); }));
  }
}

TEST(EnsureCalendarTables, TableReadyAndUnchangedByRepeatedCalls) {
  calendar::EnsureCalendarTables();
  EXPECT_TRUE(calendar::CalendarReady());
  const int before = BsMonthDays(2081, 2);
  calendar::EnsureCalendarTables();
  calendar::BuildCalendarTables();
  EXPECT_TRUE(calendar::CalendarReady());
  EXPECT_EQ(before, BsMonthDays(2081, 2));
}

TEST(BsMonthName, NamesMonthsAndRejectsOthers) {
  EXPECT_EQ("Baishakh", calendar::BsMonthName(1));
  EXPECT_EQ("Ashadh", calendar::BsMonthName(3));
  EXPECT_EQ("Poush", calendar::BsMonthName(9));
  EXPECT_EQ("Chaitra", calendar::BsMonthName(12));
  EXPECT_EQ(base::kSubscriptOutOfRange, ErrorOf([] { calendar::BsMonthName(0); }));
  EXPECT_EQ(base::kSubscriptOutOfRange, ErrorOf([] { calendar::BsMonthName(13); }));
}

TEST(FormatBsDate, PadsMonthAndDay) {
  EXPECT_EQ("2081/01/05", calendar::FormatBsDate(2081, 1, 5));
  EXPECT_EQ("1500/12/32", calendar::FormatBsDate(1500, 12, 32));
}

TEST(AdToBs, ConvertsAnchorsAndTableEnds) {
  const struct {
    const char* ad;
    const char* want;
  } kCases[] = {
      {"1443/04/05", "1500/01/01"}, {"1443/04/06", "1500/01/02"}, {"1943/04/14", "2000/01/01"},
      {"2024/04/13", "2081/01/01"}, {"2024/04/12", "2080/12/30"}, {"2025/04/14", "2082/01/01"},
      {"4944/05/31", "5000/12/31"}, {"4944/05/30", "5000/12/30"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.ad);
    EXPECT_EQ(c.want, AdToBs(std::string(c.ad)));
  }
}

TEST(AdToBs, AcceptsDateFormsWithOptionalTime) {
  const char* kForms[] = {
      "2024/04/13",
      "2024-04-13",
      "2024-04-13T09:30:00",
      "2024-04-13T09:30:00.250Z",
      "2024/04/13 23:59:59",
      "2024/4/13",
      "4/13/2024",
      "04/13/2024",
      "4/13/2024 10:05:00 AM",
      "2024/04/13 7:05 pm",
      "2024-04-13T09:30:00+05:45",
      "2024-04-13 09:30:00.1234567",
  };
  for (const char* form : kForms) {
    SCOPED_TRACE(form);
    EXPECT_EQ("2081/01/01", AdToBs(std::string(form)));
  }
}

TEST(AdToBs, TextThatIsNotADateIsATypeMismatch) {
  const char* kTexts[] = {
      "",
      "abc",
      "2024/13/01",
      "2023/02/29",
      "1900/02/29",
      "2024/04/00",
      "2024/04/13x",
      "2024/04-13",
      "2024/04/13 lunch",
      "20240413",
      "13/4/2024",
      "4/13/24",
      "2024.04.13",
      "2024/04/13T",
      "2024/04/13 10",
      " 2024/04/13",
      "2024/004/13",
      "4-13-2024",
      "2024-04-13T09:30+5",
      "2024/04/13 9",
  };
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(base::kTypeMismatch, ErrorOf([&] { AdToBs(std::string(text)); }));
  }
}

TEST(AdToBs, LeapDayIsADate) {
  EXPECT_EQ(AdToBs(std::string("2024/03/01")), BsAddDays(AdToBs(std::string("2024/02/29")), 1));
  EXPECT_EQ(AdToBs(std::string("2000/03/01")), BsAddDays(AdToBs(std::string("2000/02/28")), 2));
}

TEST(AdToBs, DaysOutsideCalendarAreOutOfRange) {
  const char* kTexts[] = {"1443/04/04", "0001/01/01", "4944/06/01", "9999/12/31"};
  for (const char* text : kTexts) {
    SCOPED_TRACE(text);
    EXPECT_EQ(base::kSubscriptOutOfRange, ErrorOf([&] { AdToBs(std::string(text)); }));
  }
  using namespace std::chrono;
  EXPECT_EQ(base::kTypeMismatch, ErrorOf([] { AdToBs(year{2023} / 2 / 29); }));
  EXPECT_EQ("2081/01/01", AdToBs(year{2024} / 4 / 13));
}

TEST(TodayBs, UsesTheLocalCalendarDay) {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t t = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const year_month_day today{year{local.tm_year + 1900},
                             month{static_cast<unsigned>(local.tm_mon + 1)},
                             day{static_cast<unsigned>(local.tm_mday)}};
  EXPECT_EQ(AdToBs(today), calendar::TodayBs(now));
}

TEST(BsAddDays, AddsAndSubtractsAcrossMonthAndYearEnds) {
  const struct {
    const char* date;
    std::int32_t days;
    const char* want;
  } kCases[] = {
      {"2081/01/01", 365, "2081/12/31"},      {"2081/12/30", 1, "2081/12/31"},
      {"2081/12/31", 1, "2082/01/01"},        {"2081/01/31", 1, "2081/02/01"},
      {"2081/01/01", 0, "2081/01/01"},        {"2080/03/32", 0, "2080/04/01"},
      {"2080/03/31", 1, "2080/04/01"},        {"2081/02/32", 1, "2081/03/01"},
      {"2081/01/01", 366, "2082/01/01"},      {"2081/01/01", -1, "2080/12/30"},
      {"2081/02/01", -1, "2081/01/31"},       {"2081/01/10", -10, "2080/12/30"},
      {"2081/01/10", -9, "2081/01/01"},       {"2082/01/01", -366, "2081/01/01"},
      {"2081/05/00", 0, "2081/04/32"},        {"1500/01/01", 1278771, "5000/12/31"},
      {"5000/12/31", -1278771, "1500/01/01"}, {"2000/01/01", kDays2000To2082, "2082/01/01"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.date) + " + " + std::to_string(c.days));
    EXPECT_EQ(c.want, BsAddDays(c.date, c.days));
  }
}

TEST(BsAddDays, Failures) {
  const struct {
    const char* date;
    std::int32_t days;
    int error;
  } kCases[] = {
      {"5000/12/31", 1, base::kSubscriptOutOfRange},
      {"1500/01/01", -1, base::kSubscriptOutOfRange},
      {"1499/12/30", 5, base::kSubscriptOutOfRange},
      {"5001/01/01", -5, base::kSubscriptOutOfRange},
      {"2081/13/01", 0, base::kSubscriptOutOfRange},
      {"2081/00/05", 0, base::kSubscriptOutOfRange},
      {"0000/00/00", 1, base::kSubscriptOutOfRange},
      {"2081/01/01", kMaxInt32 - 1, base::kSubscriptOutOfRange},
      {"2081/01/02", kMaxInt32, base::kOverflow},
      {"2081/01/31", kMaxInt32 - 30, base::kOverflow},
      {"2081/01/01", kMinInt32, base::kSubscriptOutOfRange},
      {"", 1, base::kTypeMismatch},
      {"abcd/01/01", 1, base::kTypeMismatch},
      {"2081/xx/01", 1, base::kTypeMismatch},
      {"2081/01/1x", 1, base::kTypeMismatch},
      {"2081/", 1, base::kTypeMismatch},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.date) + " + " + std::to_string(c.days));
    EXPECT_EQ(c.error, ErrorOf([&] { BsAddDays(c.date, c.days); }));
  }
}

TEST(BsAddMonths, StepsWholeMonthsAndClampsTheDay) {
  const struct {
    const char* date;
    std::int32_t months;
    const char* want;
  } kCases[] = {
      {"2080/12/15", 1, "2081/01/15"},   {"2081/11/10", 13, "2082/12/10"},
      {"2081/02/32", 1, "2081/03/31"},   {"2080/01/10", 12, "2081/01/10"},
      {"2081/01/10", 11, "2081/12/10"},  {"2081/01/10", 0, "2081/01/10"},
      {"2080/01/15", -1, "2079/12/15"},  {"2080/05/15", -13, "2079/04/15"},
      {"2081/05/10", -5, "2080/12/10"},  {"2081/05/10", -4, "2081/01/10"},
      {"2081/03/31", -1, "2081/02/31"},  {"2081/12/10", -24, "2079/12/10"},
      {"2081/12/10", -12, "2080/12/10"}, {"4999/12/31", 12, "5000/12/31"},
      {"1500/02/05", -1, "1500/01/05"},  {"2081/01/32", 1, "2081/02/32"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.date) + " + " + std::to_string(c.months));
    EXPECT_EQ(c.want, BsAddMonths(c.date, c.months));
  }
}

TEST(BsAddMonths, ClampsToTheLengthOfTheNewMonth) {
  for (int month = 1; month <= 12; ++month) {
    SCOPED_TRACE(month);
    const std::string got = BsAddMonths("2080/01/32", month - 1);
    EXPECT_EQ(calendar::FormatBsDate(2080, month, std::min(32, int{BsMonthDays(2080, month)})),
              got);
  }
}

TEST(BsAddMonths, Failures) {
  const struct {
    const char* date;
    std::int32_t months;
    int error;
  } kCases[] = {
      {"5000/12/01", 1, base::kSubscriptOutOfRange},
      {"1500/01/01", -1, base::kSubscriptOutOfRange},
      {"2081/01/01", 12 * 3000, base::kSubscriptOutOfRange},
      {"2081/01/01", 12 * 40000, base::kOverflow},
      {"2081/01/01", -12 * 40000, base::kOverflow},
      {"2081/02/01", kMaxInt32, base::kOverflow},
      {"abcd/01/01", 1, base::kTypeMismatch},
      {"2081/0x/01", 1, base::kTypeMismatch},
      {"", 1, base::kTypeMismatch},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.date) + " + " + std::to_string(c.months));
    EXPECT_EQ(c.error, ErrorOf([&] { BsAddMonths(c.date, c.months); }));
  }
}

TEST(BsDaysBetween, CountsDaysBetweenDates) {
  const struct {
    const char* a;
    const char* b;
    std::int32_t want;
  } kCases[] = {
      {"2081/01/01", "2082/01/01", 366},
      {"2081/01/15", "2081/03/10", 58},
      {"2081/01/01", "2081/01/01", 0},
      {"2081/12/31", "2082/01/01", 1},
      {"2080/12/30", "2081/01/01", 1},
      {"2000/01/01", "2082/01/01", kDays2000To2082},
      {"1500/01/01", "5000/12/31", 1278771},
      // Day numbers are taken as they stand: Ashadh 2080 has 31 days.
      {"2080/03/32", "2080/04/01", 0},
      {"2080/03/31", "2080/03/32", 1},
      {"2080/02/15", "2080/03/32", BsMonthDays(2080, 2) - 15 + 32},
      // Fields are read by their leading digits.
      {"2081/01/05", "2081/01/1x", -4},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.a) + " .. " + c.b);
    std::string a = c.a, b = c.b;
    EXPECT_EQ(c.want, BsDaysBetween(a, b));
  }
}

TEST(BsDaysBetween, PutsTheCallersDatesInOrder) {
  std::string a = "2082/01/01", b = "2081/01/01";
  EXPECT_EQ(366, BsDaysBetween(a, b));
  EXPECT_EQ("2081/01/01", a);
  EXPECT_EQ("2082/01/01", b);

  std::string c = "2081/01/01", d = "2082/01/01";
  EXPECT_EQ(366, BsDaysBetween(c, d));
  EXPECT_EQ("2081/01/01", c);
  EXPECT_EQ("2082/01/01", d);
}

TEST(BsDaysBetween, MissingDateFailsWithoutSubstitute) {
  const struct {
    const char* a;
    const char* b;
    const char* after_a;
    const char* after_b;
  } kCases[] = {
      {"", "2081/01/01", "", "2081/01/01"},
      {"2081/01/01", "", "", "2081/01/01"},
      {"0000/00/00", "2081/01/01", "0000/00/00", "2081/01/01"},
      {"2081/01/01", "0000/00/00", "0000/00/00", "2081/01/01"},
      {"", "0000/00/00", "", "0000/00/00"},
      {"0000/00/00", "0000/00/00", "0000/00/00", "0000/00/00"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string("'") + c.a + "' .. '" + c.b + "'");
    std::string a = c.a, b = c.b;
    EXPECT_EQ(base::kMissingDate, ErrorOf([&] { BsDaysBetween(a, b); }));
    EXPECT_EQ(c.after_a, a);
    EXPECT_EQ(c.after_b, b);
  }
}

TEST(BsDaysBetween, Failures) {
  const struct {
    const char* a;
    const char* b;
    int error;
  } kCases[] = {
      {"1499/12/30", "1500/01/01", base::kSubscriptOutOfRange},
      {"5000/12/31", "5001/01/01", base::kSubscriptOutOfRange},
      {"2081/13/01", "2082/01/01", base::kSubscriptOutOfRange},
      {"2081/01/01", "2081/13/01", base::kSubscriptOutOfRange},
      {"2081/00/01", "2081/01/01", base::kSubscriptOutOfRange},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.a) + " .. " + c.b);
    std::string a = c.a, b = c.b;
    EXPECT_EQ(c.error, ErrorOf([&] { BsDaysBetween(a, b); }));
  }
}

TEST(BsDaysBetween, YearReadBelowTheFirstGivesZero) {
  // Character order puts "2 00" after "1999", but its leading number (200) is the smaller year.
  std::string a = "1999/01/01", b = "2 00/01/01";
  EXPECT_EQ(0, BsDaysBetween(a, b));
}

TEST(BsMonthsBetween, CountsWholeMonthsInEitherOrder) {
  const struct {
    const char* a;
    const char* b;
    double want;
  } kCases[] = {
      {"2080/05/15", "2082/05/14", 23}, {"2080/05/15", "2082/05/15", 24},
      {"2081/03/20", "2081/04/19", 0},  {"2080/11/10", "2081/02/10", 3},
      {"2081/03/20", "2081/03/20", 0},  {"2081/03/20", "2081/03/31", 0},
      {"2080/12/32", "2081/01/01", 0},  {"2000/01/01", "4730/08/01", 32767},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.a) + " .. " + c.b);
    EXPECT_EQ(c.want, BsMonthsBetween(c.a, c.b));
    EXPECT_EQ(c.want, BsMonthsBetween(c.b, c.a));
  }
}

TEST(BsMonthsBetween, CountAbove16BitsOverflows) {
  EXPECT_EQ(base::kOverflow, ErrorOf([] { BsMonthsBetween("2000/01/01", "4730/09/01"); }));
  EXPECT_EQ(32767, BsMonthsBetween("2000/01/15", "4730/09/14"));
  EXPECT_EQ(base::kOverflow, ErrorOf([] { BsMonthsBetween("1500/01/01", "5000/01/01"); }));
}

TEST(BsMonthsBetween, DoesNotNeedTheTable) {
  // Years outside the calendar are plain numbers here.
  EXPECT_EQ(12, BsMonthsBetween("1000/01/01", "1001/01/01"));
}

}  // namespace
