#include "base/numbers.h"

#include <gtest/gtest.h>

#include "base/agent_error.h"

namespace base {
namespace {

TEST(RoundHalfEven, ExactHalvesGoToEvenNeighbour) {
  const struct {
    double x;
    double want;
  } kCases[] = {
      {0.5, 0},         {1.5, 2},         {2.5, 2},    {-2.5, -2},         {-3.5, -4},
      {12000.5, 12000}, {12001.5, 12002}, {2.4999, 2}, {1e15 + 0.5, 1e15}, {-0.4, -0.0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.x);
    EXPECT_EQ(c.want, RoundHalfEven(c.x));
  }
}

TEST(RoundHalfEven, TwoDecimals) {
  EXPECT_EQ(0.12, RoundHalfEven(0.125, 2));
  EXPECT_EQ(0.38, RoundHalfEven(0.375, 2));
  EXPECT_EQ(-1.24, RoundHalfEven(-1.235001, 2));
  EXPECT_EQ(100.0, RoundHalfEven(99.999, 2));
}

TEST(FixedWidth, OverflowIsAnErrorNotAWrap) {
  EXPECT_EQ(32767, ToInt16(32767.4));
  EXPECT_EQ(-32768, ToInt16(-32768.5));  // half to even: -32768
  EXPECT_THROW(ToInt16(32767.5), AgentError);
  EXPECT_THROW(CheckedInt16(40000), AgentError);
  EXPECT_EQ(2147483647, ToInt32(2147483647.0));
  EXPECT_THROW(ToInt32(2147483648.0), AgentError);
  try {
    CheckedInt32(1LL << 40);
    FAIL();
  } catch (const AgentError& e) {
    EXPECT_EQ(kOverflow, e.number());
  }
}

TEST(FormatAmount, TwoDecimalsNoSeparator) {
  const struct {
    double x;
    const char* want;
  } kCases[] = {
      {0, "0.00"},
      {1128, "1128.00"},
      {-1500, "-1500.00"},
      {0.1 + 0.2, "0.30"},
      {1.005, "1.01"},
      {2.675, "2.68"},
      {1234567.891, "1234567.89"},
      {0.004, "0.00"},
      {-0.004, "0.00"},
      {9.995, "10.00"},
      {123456789012.5, "123456789012.50"},
      {0.05, "0.05"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(c.want, FormatAmount(c.x));
  }
}

TEST(FormatTwoDigits, PadsToTwo) {
  EXPECT_EQ("07", FormatTwoDigits(7));
  EXPECT_EQ("12", FormatTwoDigits(12));
  EXPECT_EQ("123", FormatTwoDigits(123));
  EXPECT_EQ("-05", FormatTwoDigits(-5));
  EXPECT_EQ("-12", FormatTwoDigits(-12));
}

TEST(ShortestText, FifteenSignificantDigits) {
  const struct {
    double x;
    const char* want;
  } kCases[] = {
      {0, "0"},
      {0.1 + 0.2, "0.3"},
      {1234.5, "1234.5"},
      {-7, "-7"},
      {1e20, "1E+20"},
      {0.000125, "0.000125"},
      {100000, "100000"},
      {1.0 / 3, "0.333333333333333"},
      {123456789012345678.0, "1.23456789012346E+17"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(c.want, ShortestText(c.x));
  }
  EXPECT_EQ(0.3, RoundTrip15(0.1 + 0.2));
}

TEST(ParseNumber, StrictNumbersOnly) {
  EXPECT_EQ(12.5, ParseNumber(" 12.5 "));
  EXPECT_EQ(-3, ParseNumber("-3"));
  EXPECT_EQ(1e3, ParseNumber("1E3"));
  for (const char* bad : {"", "  ", "12a", "0x10", "inf", "nan", "1,5", "2081/01/01"}) {
    SCOPED_TRACE(bad);
    try {
      ParseNumber(bad);
      FAIL();
    } catch (const AgentError& e) {
      EXPECT_EQ(kTypeMismatch, e.number());
    }
  }
}

TEST(LeadingNumber, ReadsTheLeadingNumericPart) {
  const struct {
    const char* text;
    double want;
  } kCases[] = {
      {"12abc", 12},      {"abc", 0},      {"", 0},       {"1 2x", 12},       {"2081/01/01", 2081},
      {"  -4.5.6", -4.5}, {"1E+15", 1e15}, {"2D3", 2000}, {"1.5e-2x", 0.015}, {"7d +2", 700},
      {"3E", 3},          {"3Ex", 3},      {"E5", 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.want, LeadingNumber(c.text));
  }
  EXPECT_THROW(LeadingNumber("1E999"), AgentError);
}

}  // namespace
}  // namespace base
