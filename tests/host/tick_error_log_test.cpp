#include "host/tick_error_log.h"

#include <gtest/gtest.h>

#include <sstream>

namespace host {
namespace {

int Lines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(TickErrorLog, EachDistinctErrorOnceThenSummaries) {
  std::ostringstream out;
  TickErrorLog log(out);
  for (int tick = 0; tick < 1000; ++tick) log.Record("SMS", 94, "Invalid use of Null");
  log.Record("SMS", 3000, "no such table: LoanSMS");
  log.Record("deposit entry dates", 94, "Invalid use of Null");
  const std::string text = out.str();
  // First occurrence plus summaries after 10 and 100 repeats, and the two other errors.
  EXPECT_EQ(5, Lines(text)) << text;
  EXPECT_NE(std::string::npos, text.find("Tick error in SMS: Error 94: Invalid use of Null\n"));
  EXPECT_NE(std::string::npos, text.find("(repeated 10 times)"));
  EXPECT_NE(std::string::npos, text.find("(repeated 100 times)"));
  EXPECT_EQ(std::string::npos, text.find("(repeated 999 times)"));
  EXPECT_EQ(1000, log.Count("SMS", 94, "Invalid use of Null"));
  EXPECT_EQ(1, log.Count("deposit entry dates", 94, "Invalid use of Null"));

  log.Summarise();
  EXPECT_NE(std::string::npos,
            out.str().find("Error 94: Invalid use of Null (repeated 999 times)"));
  EXPECT_EQ(6, Lines(out.str()));
  log.Summarise();  // nothing new to report
  EXPECT_EQ(6, Lines(out.str()));
}

}  // namespace
}  // namespace host
