#include "data/value.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"

namespace data {
namespace {

template <typename Action>
int ErrorNumberOf(Action action) {
  try {
    action();
  } catch (const base::AgentError& e) {
    return e.number();
  }
  return 0;
}

TEST(Value, NullIsItsOwnState) {
  EXPECT_TRUE(Value().IsNull());
  EXPECT_NE(Value(), Value(""));
  EXPECT_NE(Value(), Value(0));
  EXPECT_NE(Value(""), Value(0));
  EXPECT_EQ("", Value().AsText());
  for (auto read : {+[](const Value& v) { v.AsDouble(); }, +[](const Value& v) { v.AsInt16(); },
                    +[](const Value& v) { v.AsInt32(); }, +[](const Value& v) { v.AsInt64(); },
                    +[](const Value& v) { v.AsBool(); }}) {
    EXPECT_EQ(base::kInvalidUseOfNull, ErrorNumberOf([&] { read(Value()); }));
  }
}

TEST(Value, Text) {
  const struct {
    Value value;
    const char* want;
  } kCases[] = {
      {Value(std::int64_t{-42}), "-42"},
      {Value(12500.0), "12500"},
      {Value(0.1 + 0.2), "0.3"},  // 15 significant digits
      {Value(1234.5), "1234.5"},
      {Value(true), "True"},
      {Value(false), "False"},
      {Value("2080/01/15"), "2080/01/15"},
      {Value(""), ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(c.want, c.value.AsText());
    EXPECT_EQ(std::optional<std::string>(c.want), c.value.Text());
  }
}

TEST(Value, SixteenBitReads) {
  const struct {
    Value value;
    int want;  // 0 with `error` set
    int error;
  } kCases[] = {
      {Value(2.5), 2, 0},
      {Value(3.5), 4, 0},
      {Value(-2.5), -2, 0},
      {Value("12"), 12, 0},
      {Value(" 7.5 "), 8, 0},
      {Value(true), -1, 0},  // a Jet true
      {Value(std::int64_t{32767}), 32767, 0},
      {Value(std::int64_t{32768}), 0, base::kOverflow},
      {Value(-32768.5), -32768, 0},
      {Value(-32769.0), 0, base::kOverflow},
      {Value("12abc"), 0, base::kTypeMismatch},
      {Value(""), 0, base::kTypeMismatch},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value.AsText());
    if (c.error != 0) {
      EXPECT_EQ(c.error, ErrorNumberOf([&] { c.value.AsInt16(); }));
    } else {
      EXPECT_EQ(c.want, c.value.AsInt16());
    }
  }
}

TEST(Value, ThirtyTwoAndSixtyFourBitReads) {
  EXPECT_EQ(2147483647, Value(std::int64_t{2147483647}).AsInt32());
  EXPECT_EQ(base::kOverflow, ErrorNumberOf([] { Value(std::int64_t{2147483648}).AsInt32(); }));
  EXPECT_EQ(base::kOverflow, ErrorNumberOf([] { Value(-2147483649.0).AsInt32(); }));
  EXPECT_EQ(-2147483648, Value(-2147483648.4).AsInt32());
  EXPECT_EQ(std::int64_t{9007199254740993}, Value(std::int64_t{9007199254740993}).AsInt64());
  EXPECT_EQ(base::kOverflow, ErrorNumberOf([] { Value(1e19).AsInt64(); }));
  EXPECT_EQ(base::kOverflow,
            ErrorNumberOf([] { Value(std::numeric_limits<double>::quiet_NaN()).AsInt64(); }));
  EXPECT_EQ(4, Value(4.5).AsInt64());
}

TEST(Value, Booleans) {
  const struct {
    Value value;
    bool want;
  } kCases[] = {
      {Value(std::int64_t{-1}), true},
      {Value(1), true},
      {Value(0), false},
      {Value(0.0), false},
      {Value("True"), true},
      {Value("false"), false},
      {Value("-1"), true},
      {Value("0"), false},
      {Value(true), true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.value.AsText());
    EXPECT_EQ(c.want, c.value.AsBool());
  }
  EXPECT_EQ(base::kTypeMismatch, ErrorNumberOf([] { Value("yes").AsBool(); }));
}

TEST(SqlText, DoublesEveryQuoteAndNothingElse) {
  const struct {
    std::string text;
    std::string want;
  } kCases[] = {
      {"", "''"},
      {"Ram", "'Ram'"},
      {"O'Brien", "'O''Brien'"},
      {"''", "''''''"},
      {"a\"b;c--", "'a\"b;c--'"},
      {"[x] + 'y'", "'[x] + ''y'''"},
      // Overlong forms of "'" are no quote: the strict conversions make them U+FFFD.
      {"a\xC0\xA7", "'a\xC0\xA7'"},
      // A NUL would end the statement: it is left out.
      {std::string("Ram\0 Bahadur", 12), "'Ram Bahadur'"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(c.want, SqlText(c.text));
  }
}

}  // namespace
}  // namespace data
