// Date conversion speed: the table-lookup routines against a month-by-month walk.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "calendar/bs_date.h"

namespace {

using namespace std::chrono;

// BS 2000/01/01 is day 182,877 after BS 1500/01/01; BS 2100/12/31 about 36,890 days later.
std::vector<std::int32_t> SampleDays() {
  std::string first = "1500/01/01", from = "2000/01/01";
  const std::int32_t begin = calendar::BsDaysBetween(first, from);
  std::string a = "2000/01/01", b = "2100/12/30";
  const std::int32_t span = calendar::BsDaysBetween(a, b);
  std::mt19937 random(20240413);
  std::uniform_int_distribution<std::int32_t> pick(0, span);
  std::vector<std::int32_t> out(4096);
  for (auto& d : out) d = begin + pick(random);
  return out;
}

const sys_days kAnchor{year{1443} / 4 / 5};  // BS 1500/01/01

std::vector<std::string> SampleAdTexts() {
  std::vector<std::string> out;
  for (std::int32_t d : SampleDays()) {
    const year_month_day ad{kAnchor + days{d}};
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d/%02u/%02u", int{ad.year()}, unsigned{ad.month()},
                  unsigned{ad.day()});
    out.push_back(buf);
  }
  return out;
}

std::vector<std::string> SampleBsTexts() {
  std::vector<std::string> out;
  for (std::int32_t d : SampleDays()) out.push_back(calendar::BsAddDays("1500/01/01", d));
  return out;
}

// The conversion done the slow way: count the days from the anchor, then walk the month
// table from Baishakh 1500 one month at a time.
std::string NaiveAdToBs(const std::string& ad) {
  int y = 0;
  unsigned m = 0, d = 0;
  std::sscanf(ad.c_str(), "%d/%u/%u", &y, &m, &d);
  std::int32_t rest =
      static_cast<std::int32_t>((sys_days{year{y} / month{m} / day{d}} - kAnchor).count());
  int bs_year = calendar::kFirstBsYear, bs_month = 1;
  for (;;) {
    const int length = calendar::BsMonthDays(bs_year, bs_month);
    if (rest < length) break;
    rest -= length;
    if (++bs_month > 12) {
      bs_month = 1;
      ++bs_year;
    }
  }
  return calendar::FormatBsDate(bs_year, bs_month, rest + 1);
}

void BM_AdToBs(benchmark::State& state) {
  const std::vector<std::string> inputs = SampleAdTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(calendar::AdToBs(inputs[i++ & 4095]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AdToBs);

void BM_NaiveMonthWalkAdToBs(benchmark::State& state) {
  const std::vector<std::string> inputs = SampleAdTexts();
  for (std::size_t k = 0; k < 64; ++k) {
    if (NaiveAdToBs(inputs[k]) != calendar::AdToBs(inputs[k])) {
      state.SkipWithError("naive walk disagrees with AdToBs");
      return;
    }
  }
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(NaiveAdToBs(inputs[i++ & 4095]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NaiveMonthWalkAdToBs);

void BM_BsAddDays(benchmark::State& state) {
  const std::vector<std::string> dates = SampleBsTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    const std::int32_t n = static_cast<std::int32_t>(i % 3650);  // up to ten years ahead
    benchmark::DoNotOptimize(calendar::BsAddDays(dates[i++ & 4095], n));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BsAddDays);

void BM_BsDaysBetween(benchmark::State& state) {
  const std::vector<std::string> dates = SampleBsTexts();
  std::size_t i = 0;
  for (auto _ : state) {
    std::string a = dates[i & 4095], b = dates[(i + 1) & 4095];
    ++i;
    benchmark::DoNotOptimize(calendar::BsDaysBetween(a, b));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BsDaysBetween);

}  // namespace

BENCHMARK_MAIN();
