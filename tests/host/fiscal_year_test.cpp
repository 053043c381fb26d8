#include "host/fiscal_year.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

using data::Value;

class FiscalYearTest : public ::testing::Test {
 protected:
  void AddYear(Value sn, const char* from, const char* to, int in_use) {
    catalog_.Insert("YearSetting", {{"SN", sn},
                                    {"Fyear", "year"},
                                    {"Dfrom", from},
                                    {"Dto", to},
                                    {"Using", std::int64_t{in_use}}});
  }
  test_support::TempDir dir_;
  test_support::TestCatalog catalog_{dir_.path()};
};

TEST_F(FiscalYearTest, CurrentYearIsTheFirstRowInUse) {
  EXPECT_EQ(0, GetCurrentFyear(catalog_.connection()));  // no year at all
  AddYear(std::int64_t{7}, "2080/04/01", "2081/03/31", 0);
  EXPECT_EQ(0, GetCurrentFyear(catalog_.connection()));  // no year in use
  AddYear(std::int64_t{8}, "2081/04/01", "2082/03/31", 1);
  AddYear(std::int64_t{9}, "2082/04/01", "2083/03/30", 1);
  EXPECT_EQ(8, GetCurrentFyear(catalog_.connection()));
}

TEST_F(FiscalYearTest, NullSerialInUseGivesZero) {
  AddYear(Value(), "2081/04/01", "2082/03/31", 1);
  EXPECT_EQ(0, GetCurrentFyear(catalog_.connection()));
}

TEST_F(FiscalYearTest, YearContainingADate) {
  // Inserted out of SN order: the lookup takes the lowest SN whose last day is not earlier.
  AddYear(std::int64_t{3}, "2081/04/01", "2082/03/31", 1);
  AddYear(std::int64_t{2}, "2080/04/01", "2081/03/31", 0);
  AddYear(std::int64_t{4}, "2082/04/01", "2083/03/30", 0);
  const struct {
    const char* date;
    std::int32_t want;
  } kCases[] = {
      {"2079/01/01", 2},                     // before the first year: the first year
      {"2080/04/01", 2}, {"2081/03/31", 2},  // last day is inclusive
      {"2081/04/01", 3}, {"2082/12/30", 4},
      {"2083/03/30", 4}, {"2083/03/31", 0},  // after the last year
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.date);
    EXPECT_EQ(c.want, GeTCurYear(catalog_.connection(), c.date));
  }
}

TEST_F(FiscalYearTest, DateWithQuoteIsOnlyCompared) {
  AddYear(std::int64_t{2}, "2080/04/01", "2081/03/31", 0);
  EXPECT_EQ(0, GeTCurYear(catalog_.connection(), "2090' or '1'='1"));
  EXPECT_EQ(1, catalog_.Scalar("Select count(*) from YearSetting").AsInt32());
}

TEST_F(FiscalYearTest, NullSerialOfTheMatchingYearFails) {
  AddYear(Value(), "2080/04/01", "2081/03/31", 0);
  try {
    GeTCurYear(catalog_.connection(), "2080/05/01");
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kInvalidUseOfNull, e.number());
  }
}

}  // namespace
}  // namespace host
