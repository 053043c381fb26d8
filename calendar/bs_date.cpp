#include "calendar/bs_date.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "base/agent_error.h"
#include "base/numbers.h"

namespace calendar {
namespace {

using base::AgentError;

// ---------------------------------------------------------------------------------------------
// Month-length data. The BS calendar has no arithmetic rule for its month lengths: every year
// uses one of thirteen patterns of month lengths, and which year uses which is data.

constexpr int kPatternCount = 13;
constexpr int kYearCount = kLastBsYear - kFirstBsYear + 1;  // 3,501

// Lengths of months 1..12 of patterns A..M, in days.
constexpr std::uint8_t kPatternDays[kPatternCount][12] = {
    {30, 32, 31, 32, 31, 30, 30, 30, 29, 30, 29, 31},  // A
    {30, 32, 31, 32, 31, 31, 29, 30, 29, 30, 29, 31},  // B
    {30, 32, 31, 32, 31, 31, 29, 30, 30, 29, 29, 31},  // C
    {31, 31, 31, 32, 31, 31, 29, 30, 30, 29, 29, 31},  // D
    {31, 31, 31, 32, 31, 31, 29, 30, 30, 29, 30, 30},  // E
    {31, 31, 31, 32, 31, 31, 30, 29, 30, 29, 30, 30},  // F
    {31, 31, 32, 31, 31, 31, 30, 29, 30, 29, 30, 30},  // G
    {31, 31, 32, 31, 32, 30, 30, 29, 30, 29, 30, 30},  // H
    {31, 31, 32, 32, 31, 30, 30, 29, 30, 29, 30, 30},  // I
    {31, 32, 31, 32, 31, 30, 30, 29, 30, 29, 30, 30},  // J
    {31, 32, 31, 32, 31, 30, 30, 30, 29, 29, 30, 30},  // K
    {31, 32, 31, 32, 31, 30, 30, 30, 29, 29, 30, 31},  // L
    {31, 32, 31, 32, 31, 30, 30, 30, 29, 30, 29, 31},  // M
};

// Pattern letters of the years 1500 to 2499, one per year in year order; each line holds 50
// years in groups of ten (the blanks only help reading).
// clang-format off
constexpr char kYearLetters[] =
    "GLAGILBGIL DGILEGILFG KMFGKMGGLA GILBGILDGI LEGILEGJMF"  // 1500
    "GKMGGLAGIL AGILDGILEG ILEGJMFGKM GGLAGHLAGI LDGILEGILE"  // 1550
    "GJLFGKMFGK MGHLAGILBG ILEGILEGJL FGKMFGKMGG LAGILBGILD"  // 1600
    "GILEGILFGK MFGKMGGLAG ILBGILDGIL EGILEGJMFG KMGGLAGILA"  // 1650
    "GILDGILEGI LEGJMFGKMG GLAGHLAGIL DGILEGILEG JLFGKMFGKM"  // 1700
    "GHLAGILBGI LEGILEGJLF GKMFGKMGHL AGILBGILDG ILEGJLFGKM"  // 1750
    "FGKMGGLAGI LBGILDGILE GILFGKMFGK MGGLAGILAG ILDGILEGIL"  // 1800
    "EGJMFGKMGG LAGHLAGILD GILEGILEGJ MFGKMFGLAG HLAGILBGIL"  // 1850
    "EGILEGJLFG KMFGKMGHLA GILBGILDGI LEGJLFGKMF GKMGGLAGIL"  // 1900
    "BGILDGILEG ILFGKMFGKM GGLAGILAGI LDGILEGILE GJMFGKMGGL"  // 1950
    "AGILAGILDG ILEGILEGJM FGKMGGLAGH LAGILCGILE GILEGJLFGK"  // 2000
    "MFGKMGHLAG ILBGILDGIL EGJLFGKMFG KMGGLAGILB GILDGILEGI"  // 2050
    "LFGKMFGKMG GLAGILBGIL DGILEGILEG JMFGKMGGLA GILAGILDGI"  // 2100
    "LEGILEGJMF GKMGGLAGHL AGILDGILEG ILEGJLFGKM FGKMGHLAGI"  // 2150
    "LBGILDGILE GJLFGKMFGK MGGLAGILBG ILDGILEGIL FGKMFGKMGG"  // 2200
    "LAGILBGILD GILEGILEGJ MFGKMGGLAG ILAGILDGIL EGILEGJMFG"  // 2250
    "KMGGLAGHLA GILDGILEGI LEGJLFGKMF GKMGHLAGIL BGILDGILEG"  // 2300
    "JLFGKMFGKM GGLAGILBGI LDGILEGILF GKMFGKMGGL AGILBGILDG"  // 2350
    "ILEGILEGJM FGKMGGLAGI LAGILDGILE GILEGJMFGK MGGLAGHLAG"  // 2400
    "ILDGILEGIL EGJLFGKMFG KMGHLAGILB GILEGILEGJ LFGKMFGKMG";  // 2450
// clang-format on

// From 2500 on a year repeats the pattern of the year 1,000 earlier, except these.
struct PatternException {
  int year;
  char letter;
};
constexpr PatternException kPatternExceptions[] = {
    {2655, 'J'}, {2684, 'F'}, {2686, 'K'}, {2778, 'G'}, {2896, 'C'}, {3116, 'A'},
    {4024, 'F'}, {4035, 'D'}, {4778, 'H'}, {4863, 'I'}, {4887, 'K'}, {4888, 'M'},
};

// Everything the date routines read, computed once by the compiler from the data above.
// Day numbers count days from the anchor: day 0 is BS 1500/01/01, the last day of the
// calendar (BS 5000/12/31) is day 1,278,771.
struct CalendarTables {
  // Pattern index (0 = A .. 12 = M) of each year; index 0 is BS 1500.
  std::array<std::uint8_t, kYearCount> year_pattern{};
  // Day number of Baishakh 1 of each year; the extra last entry is the day after the calendar.
  std::array<std::int32_t, kYearCount + 1> year_start{};
  // Days of a pattern's year before month m + 1 (m = 0..11); entry 12 is the year's length.
  std::array<std::array<std::int16_t, 13>, kPatternCount> month_start{};
  // Month and day of each day of a pattern's year: (month << 6) | day, day of year 0..365.
  std::array<std::array<std::uint16_t, 366>, kPatternCount> day_of_year{};
};

constexpr int PatternOfLetter(char letter) { return letter - 'A'; }

constexpr CalendarTables BuildTables() {
  CalendarTables t;
  int year = kFirstBsYear;
  for (char c : kYearLetters) {
    if (c >= 'A' && c <= 'M') t.year_pattern[year++ - kFirstBsYear] = PatternOfLetter(c);
  }
  for (; year <= kLastBsYear; ++year) {
    int pattern = t.year_pattern[year - 1000 - kFirstBsYear];
    for (const PatternException& e : kPatternExceptions) {
      if (e.year == year) pattern = PatternOfLetter(e.letter);
    }
    t.year_pattern[year - kFirstBsYear] = pattern;
  }
  for (int p = 0; p < kPatternCount; ++p) {
    int days = 0;
    for (int m = 0; m < 12; ++m) {
      t.month_start[p][m] = days;
      for (int d = 1; d <= kPatternDays[p][m]; ++d) {
        t.day_of_year[p][days++] = static_cast<std::uint16_t>(((m + 1) << 6) | d);
      }
    }
    t.month_start[p][12] = days;
  }
  std::int32_t day = 0;
  for (int i = 0; i < kYearCount; ++i) {
    t.year_start[i] = day;
    day += t.month_start[t.year_pattern[i]][12];
  }
  t.year_start[kYearCount] = day;
  return t;
}

constexpr CalendarTables kTables = BuildTables();

constexpr int CountYearLetters() {
  int n = 0;
  for (char c : kYearLetters) n += (c >= 'A' && c <= 'M') ? 1 : 0;
  return n;
}
static_assert(CountYearLetters() == 1000, "one pattern letter per year 1500..2499");
static_assert(kTables.year_start[kYearCount] == 1278772, "days from BS 1500/01/01 to 5000/12/31");

// Day number of the last day of the calendar, BS 5000/12/31.
constexpr std::int32_t kLastDay = 1278771;

// AD day of day number 0 (BS 1500/01/01), proleptic Gregorian.
constexpr std::chrono::sys_days kAnchorAd{std::chrono::year{1443} / 4 / 5};

// ---------------------------------------------------------------------------------------------
// Table access.

[[noreturn]] void ThrowOutOfRange(std::int64_t year, std::int64_t month) {
  throw AgentError(base::kSubscriptOutOfRange,
                   "Subscript out of range: BS year " + std::to_string(year) + " month " +
                       std::to_string(month) + " is outside the calendar (1500..5000, 1..12)");
}

void CheckYearMonth(std::int64_t year, std::int64_t month) {
  if (year < kFirstBsYear || year > kLastBsYear || month < 1 || month > 12) {
    ThrowOutOfRange(year, month);
  }
}

int PatternOf(int year) { return kTables.year_pattern[year - kFirstBsYear]; }

// Day number of day 1 of a month; year and month already checked.
std::int32_t MonthStart(int year, int month) {
  return kTables.year_start[year - kFirstBsYear] + kTables.month_start[PatternOf(year)][month - 1];
}

[[noreturn]] void ThrowDayOutOfRange(std::int64_t day) {
  throw AgentError(base::kSubscriptOutOfRange,
                   "Subscript out of range: day " + std::to_string(day) +
                       " from BS 1500/01/01 lies outside the calendar (BS 1500/01/01 to "
                       "5000/12/31)");
}

// ---------------------------------------------------------------------------------------------
// Date texts.

// Appends n (0..99) as two digits, other values as the pattern "00" writes them.
void AppendTwoDigits(std::string& out, std::int64_t n) {
  if (n >= 0 && n <= 99) {
    out.push_back(static_cast<char>('0' + n / 10));
    out.push_back(static_cast<char>('0' + n % 10));
  } else {
    out += base::FormatTwoDigits(n);
  }
}

// The BS date text of a day number 0..kLastDay.
std::string DayToBs(std::int32_t day) {
  if (day < 0 || day > kLastDay) ThrowDayOutOfRange(day);
  // Years have 365 or 366 days, so the proportional guess is within a year or two of the
  // year holding `day`; the loops settle it.
  int i = static_cast<int>(static_cast<std::int64_t>(day) * kYearCount / (kLastDay + 1));
  while (kTables.year_start[i] > day) --i;
  while (kTables.year_start[i + 1] <= day) ++i;
  const std::uint16_t md =
      kTables.day_of_year[kTables.year_pattern[i]][day - kTables.year_start[i]];
  return FormatBsDate(kFirstBsYear + i, md >> 6, md & 63);
}

// Characters 1-4, 6-7 and the last two of a date text, as the fields year, month and day
// are read; a short text gives shorter (possibly empty) fields.
struct DateFields {
  std::string_view year, month, day;
};

DateFields SplitDate(std::string_view date) {
  DateFields f;
  f.year = date.substr(0, 4);
  f.month = date.size() > 5 ? date.substr(5, 2) : std::string_view();
  f.day = date.size() >= 2 ? date.substr(date.size() - 2) : date;
  return f;
}

// A field converted strictly to a 16-bit integer: kTypeMismatch when it is not a number,
// kOverflow when it does not fit.
// The value of a field of one to four plain digits, the usual case; -1 for any other text.
int PlainDigits(std::string_view field) {
  if (field.empty() || field.size() > 4) return -1;
  int n = 0;
  for (char c : field) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n;
}

std::int16_t StrictField(std::string_view field) {
  const int n = PlainDigits(field);
  if (n >= 0) return static_cast<std::int16_t>(n);
  return base::ToInt16(base::ParseNumber(field));
}

// A field read as the numeric value of its leading digits (no digits: 0), as a 16-bit integer.
std::int16_t LenientField(std::string_view field) {
  const int n = PlainDigits(field);
  if (n >= 0) return static_cast<std::int16_t>(n);
  return base::ToInt16(base::LeadingNumber(field));
}

bool IsMissingDate(const std::string& date) { return date.empty() || date == "0000/00/00"; }

// ---------------------------------------------------------------------------------------------
// AD date texts.

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads 1..max_digits digits at s[pos]; advances pos.
bool ReadNumber(std::string_view s, std::size_t& pos, int min_digits, int max_digits, int& out) {
  int n = 0;
  int count = 0;
  while (pos < s.size() && IsDigit(s[pos]) && count < max_digits) {
    n = n * 10 + (s[pos++] - '0');
    ++count;
  }
  if (count < min_digits || (pos < s.size() && IsDigit(s[pos]))) return false;
  out = n;
  return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// A time of day after the date: "h:mm", "hh:mm:ss", fractions of a second, then an optional
// offset ("+05:45"), "Z", " AM" or " PM". Its value is not used; only its form is checked.
bool IsTimeOfDay(std::string_view s) {
  if (!s.empty() && (s.back() == 'Z' || s.back() == 'z')) {
    s.remove_suffix(1);
  } else if (s.size() > 3 && (EqualsNoCase(s.substr(s.size() - 3), " AM") ||
                              EqualsNoCase(s.substr(s.size() - 3), " PM"))) {
    s.remove_suffix(3);
  }
  std::size_t pos = 0;
  int part = 0;
  if (!ReadNumber(s, pos, 1, 2, part)) return false;
  bool minutes = false;
  while (pos < s.size() && s[pos] == ':') {
    ++pos;
    if (!ReadNumber(s, pos, 2, 2, part)) return false;
    minutes = true;
  }
  if (!minutes) return false;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    if (pos == s.size()) return false;
    while (pos < s.size() && IsDigit(s[pos])) ++pos;
  }
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {  // offset from UTC: +05:45
    ++pos;
    if (!ReadNumber(s, pos, 2, 2, part)) return false;
    if (pos < s.size() && s[pos] == ':') ++pos;
    if (!ReadNumber(s, pos, 2, 2, part)) return false;
  }
  return pos == s.size();
}

// Year, month and day of an AD date text; false when the text has none of the accepted forms.
bool ParseAdDate(std::string_view s, int& year, int& month, int& day) {
  std::size_t pos = 0;
  int first = 0;
  if (!ReadNumber(s, pos, 1, 4, first) || pos >= s.size()) return false;
  const char sep = s[pos];
  if (pos == 4 && (sep == '/' || sep == '-')) {  // yyyy/mm/dd, yyyy-mm-dd
    year = first;
    ++pos;
    if (!ReadNumber(s, pos, 1, 2, month) || pos >= s.size() || s[pos] != sep) return false;
    ++pos;
    if (!ReadNumber(s, pos, 1, 2, day)) return false;
  } else if (pos <= 2 && sep == '/') {  // m/d/yyyy
    month = first;
    ++pos;
    if (!ReadNumber(s, pos, 1, 2, day) || pos >= s.size() || s[pos] != '/') return false;
    ++pos;
    if (!ReadNumber(s, pos, 4, 4, year)) return false;
  } else {
    return false;
  }
  if (pos == s.size()) return true;
  if (s[pos] != ' ' && s[pos] != 'T') return false;
  return IsTimeOfDay(s.substr(pos + 1));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Public routines.

std::uint8_t BsMonthDays(int year, int month) {
  CheckYearMonth(year, month);
  return kPatternDays[PatternOf(year)][month - 1];
}

// The table is computed by the compiler, so it is ready before the first call.
bool CalendarReady() { return true; }
void EnsureCalendarTables() {}
void BuildCalendarTables() {}

const std::string& BsMonthName(int month) {
  static const std::array<std::string, 12> kNames = {"Baishakh", "Jestha", "Ashadh", "Shrawan",
                                                     "Bhadra",   "Ashoj",  "Kartik", "Mansir",
                                                     "Poush",    "Magh",   "Falgun", "Chaitra"};
  if (month < 1 || month > 12) {
    throw AgentError(base::kSubscriptOutOfRange,
                     "Subscript out of range: month " + std::to_string(month) + " (1..12)");
  }
  return kNames[month - 1];
}

std::string FormatBsDate(int year, int month, int day) {
  std::string out;
  out.reserve(10);
  if (year >= 1000 && year <= 9999) {
    out.push_back(static_cast<char>('0' + year / 1000));
    out.push_back(static_cast<char>('0' + year / 100 % 10));
    out.push_back(static_cast<char>('0' + year / 10 % 10));
    out.push_back(static_cast<char>('0' + year % 10));
  } else {
    out += std::to_string(year);
  }
  out.push_back('/');
  AppendTwoDigits(out, month);
  out.push_back('/');
  AppendTwoDigits(out, day);
  return out;
}

std::string AdToBs(std::chrono::year_month_day ad_date) {
  if (!ad_date.ok()) {
    throw AgentError(base::kTypeMismatch, "Type mismatch: not a valid AD date");
  }
  // Days before the anchor are outside the calendar as well as those after its last day.
  const std::int64_t day = (std::chrono::sys_days{ad_date} - kAnchorAd).count();
  if (day < 0 || day > kLastDay) ThrowDayOutOfRange(day);
  return DayToBs(static_cast<std::int32_t>(day));
}

std::string AdToBs(const std::string& ad_date) {
  int year = 0, month = 0, day = 0;
  if (!ParseAdDate(ad_date, year, month, day)) {
    throw AgentError(base::kTypeMismatch, "Type mismatch: '" + ad_date + "' is not an AD date");
  }
  const std::chrono::year_month_day ymd{std::chrono::year{year},
                                        std::chrono::month{static_cast<unsigned>(month)},
                                        std::chrono::day{static_cast<unsigned>(day)}};
  if (!ymd.ok()) {
    throw AgentError(base::kTypeMismatch, "Type mismatch: '" + ad_date + "' is not an AD date");
  }
  return AdToBs(ymd);
}

std::string TodayBs(std::chrono::system_clock::time_point now) {
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  return AdToBs(
      std::chrono::year_month_day{std::chrono::year{local.tm_year + 1900},
                                  std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                  std::chrono::day{static_cast<unsigned>(local.tm_mday)}});
}

std::string BsAddDays(const std::string& date, std::int32_t days) {
  const DateFields f = SplitDate(date);
  const std::int16_t y = StrictField(f.year);
  const std::int16_t m = StrictField(f.month);
  const std::int16_t d = StrictField(f.day);
  // rest = d + days is the day number within month m; 0 and below reach back into earlier
  // months, past the month's length on into later ones.
  const std::int32_t rest = base::CheckedInt32(std::int64_t{d} + days);
  CheckYearMonth(y, m);
  const std::int64_t day = std::int64_t{MonthStart(y, m)} + rest - 1;
  if (day < 0 || day > kLastDay) ThrowDayOutOfRange(day);
  return DayToBs(static_cast<std::int32_t>(day));
}

std::string BsAddMonths(const std::string& date, std::int32_t months) {
  const DateFields f = SplitDate(date);
  const std::int16_t y = StrictField(f.year);
  const std::int16_t m = StrictField(f.month);
  const std::int16_t d = StrictField(f.day);
  const std::int32_t t = base::CheckedInt32(std::int64_t{m} + months);  // month m + months
  // Months counted from month 1 of year y: index 0 is Baishakh of y, -1 Chaitra of y - 1.
  const std::int64_t index = std::int64_t{t} - 1;
  const std::int64_t carry = (index >= 0 ? index : index - 11) / 12;  // floor division
  const std::int16_t ny = base::CheckedInt16(y + carry);
  const int nm = static_cast<int>(index - carry * 12) + 1;  // 1..12
  CheckYearMonth(ny, nm);
  const int len = kPatternDays[PatternOf(ny)][nm - 1];
  return FormatBsDate(ny, nm, d > len ? len : d);
}

std::int32_t BsDaysBetween(std::string& a, std::string& b) {
  if (a > b) a.swap(b);
  if (IsMissingDate(a) || IsMissingDate(b)) {
    throw AgentError(base::kMissingDate,
                     "Missing date: cannot count days between '" + a + "' and '" + b + "'");
  }
  const DateFields fa = SplitDate(a);
  const DateFields fb = SplitDate(b);
  const std::int16_t ya = LenientField(fa.year), ma = LenientField(fa.month),
                     da = LenientField(fa.day);
  const std::int16_t yb = LenientField(fb.year), mb = LenientField(fb.month),
                     db = LenientField(fb.day);
  if (yb < ya) return 0;  // only for malformed texts: character order disagrees with the year
  CheckYearMonth(ya, ma);
  CheckYearMonth(yb, mb);
  // Days from day 1 of a's month to day 1 of b's month, then the day numbers as they stand
  // (a day past its month's end simply counts on).
  if (yb == ya && mb < ma) {
    // Malformed month text in the same year: the rest of a's month plus b's day.
    return kPatternDays[PatternOf(ya)][ma - 1] - da + db;
  }
  return MonthStart(yb, mb) - MonthStart(ya, ma) + db - da;
}

double BsMonthsBetween(std::string a, std::string b) {
  if (a > b) a.swap(b);
  const DateFields fa = SplitDate(a);
  const DateFields fb = SplitDate(b);
  const std::int16_t ya = LenientField(fa.year), ma = LenientField(fa.month),
                     da = LenientField(fa.day);
  const std::int16_t yb = LenientField(fb.year), mb = LenientField(fb.month),
                     db = LenientField(fb.day);
  if (yb < ya) return 0.0;
  std::int64_t months = (std::int64_t{yb} - ya) * 12 + mb - ma;
  if (db < da) --months;              // the last month is not complete
  return base::CheckedInt16(months);  // a 16-bit month count
}

}  // namespace calendar
