#include "host/connector_file.h"

#include <gtest/gtest.h>

#include <string>

#include "base/agent_error.h"
#include "tests/support/test_catalog.h"

namespace host {
namespace {

// Codes outside the table are Windows-1252 characters, carried as UTF-8.
TEST(GetDc, MapsEveryTableEntryAndLeavesTheRest) {
  const struct {
    int code;
    const char* want;
    int mapped;
  } kCases[] = {
      {128, "A", 65},       {153, "Z", 90},       {154, "a", 97},       {179, "z", 122},
      {180, "-", 45},       {181, "+", 43},       {182, "[", 91},       {183, "]", 93},
      {184, "\\", 92},      {185, ":", 58},       {186, ",", 44},       {187, ".", 46},
      {188, "/", 47},       {200, "0", 0},        {209, "9", 9},        {255, " ", 32},
      {0, "0", 0},          {9, "9", 9},          {65, "A", 65},        {95, "_", 95},
      {189, "\u00BD", 189}, {199, "\u00C7", 199}, {210, "\u00D2", 210}, {127, "\x7F", 127},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE("code " + std::to_string(c.code));
    std::int32_t code = c.code;
    EXPECT_EQ(c.want, GetDc(code));
    EXPECT_EQ(c.mapped, code);
  }
}

TEST(DecodeConnectorLine, DigitsLettersAndBytes) {
  const struct {
    std::string line;
    std::string want;
  } kCases[] = {
      {"", ""},
      {"0123456789", "0123456789"},
      // "MavData" encoded: capitals 128+, small letters 154+.
      {"\x8C\x9A\xAF\x83\x9A\xAD\x9A", "MavData"},
      {"\xC8\xC9\xD1", "019"},  // bytes 200, 201, 209
      {"a\xFF"
       "b",
       "a b"},      // byte 255 is a space; plain letters stay
      {"\t", "9"},  // a tab is code 9, written as the digit
      {"\xBC\xB8\xB9\xBB", "/\\:."},
      {"sa_1", "sa_1"},
      // Bytes 189..199 and 210..254 of a password: valid UTF-8 whatever the file held.
      {"p\xE9\xBDx", "p\u00E9\u00BDx"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    EXPECT_EQ(c.want, DecodeConnectorLine(c.line));
  }
}

// A connector file of `lines` lines (line n is "L<n>" encoded as itself, except lines 11 to
// 14, which hold the given encoded values), joined by `eol`.
std::string ConnectorText(int lines, const std::string& eol, const std::string& server,
                          const std::string& catalog, const std::string& user,
                          const std::string& password) {
  std::string text;
  for (int n = 1; n <= lines; ++n) {
    if (n > 1) text += eol;
    switch (n) {
      case 11:
        text += server;
        break;
      case 12:
        text += catalog;
        break;
      case 13:
        text += user;
        break;
      case 14:
        text += password;
        break;
      default:
        text += "L" + std::to_string(n);
    }
  }
  return text;
}

class FileInfoTest : public ::testing::Test {
 protected:
  void Read(const std::string& text) {
    program_.WriteFile("MAVConnector.xml", text);
    FileInfo(state_, program_.path() / "MAVConnector.xml");
  }
  test_support::TempDir dir_;
  test_support::ProgramFolder program_{dir_.path()};
  AgentState state_;
};

TEST_F(FileInfoTest, FourteenLinesFillAllFields) {
  for (const std::string eol : {"\r\n", "\n"}) {
    SCOPED_TRACE(eol == "\n" ? "LF" : "CRLF");
    state_ = AgentState{};
    Read(ConnectorText(14, eol, "\xBC\x9E\x9B\xA2\xA7", "\x8C\x9A\xAF", "\xAC\x9A", "\xC9\xCA"));
    EXPECT_EQ("/ebin", state_.CnServer);
    EXPECT_EQ("Mav", state_.CnDatabase);
    EXPECT_EQ("sa", state_.CnUser);
    EXPECT_EQ("12", state_.CnPassword);
  }
}

TEST_F(FileInfoTest, LinesAfterFourteenChangeNothing) {
  std::string text = ConnectorText(14, "\r\n", "srv", "db", "usr", "pw");
  text += "\r\nplain 15\r\nx\r\ny\r\nz\r\n";
  Read(text);
  EXPECT_EQ("srv", state_.CnServer);
  EXPECT_EQ("db", state_.CnDatabase);
  EXPECT_EQ("usr", state_.CnUser);
  EXPECT_EQ("pw", state_.CnPassword);
}

TEST_F(FileInfoTest, EmptyLineFourteenIsAnEmptyPassword) {
  state_.CnPassword = "before";
  Read(ConnectorText(14, "\r\n", "srv", "db", "usr", "") + "\r\n");
  EXPECT_EQ("usr", state_.CnUser);
  EXPECT_EQ("", state_.CnPassword);
}

TEST_F(FileInfoTest, ShortFileLeavesMissingFieldsAsTheyWere) {
  state_.CnUser = "old user";
  state_.CnPassword = "old password";
  Read(ConnectorText(12, "\r\n", "srv", "db", "", ""));
  EXPECT_EQ("srv", state_.CnServer);
  EXPECT_EQ("db", state_.CnDatabase);
  EXPECT_EQ("old user", state_.CnUser);
  EXPECT_EQ("old password", state_.CnPassword);
}

TEST_F(FileInfoTest, MissingFileFails) {
  try {
    FileInfo(state_, program_.path() / "MAVConnector.xml");
    FAIL() << "no error";
  } catch (const base::AgentError& e) {
    EXPECT_EQ(base::kFileNotFound, e.number());
  }
}

}  // namespace
}  // namespace host
