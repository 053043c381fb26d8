// Jet 4 files read through the file provider: real files written by Access (see
// tests/data/jet/README.md for their origin and contents).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/record_set.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/test_catalog.h"

namespace {

using base::AgentError;
using data::RecordSet;
using data::Value;

std::filesystem::path JetFile(const std::string& name) {
  return std::filesystem::path(MAV_TEST_DATA_DIR) / "jet" / name;
}

// The system's connection string for a Jet file with a database password.
std::string JetConnectionString(const std::filesystem::path& file, const std::string& password) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + file.string() +
         ";Persist Security Info=false;Jet OLEDB:Database Password=" + password;
}

std::unique_ptr<data::Connection> OpenJet(const std::string& name,
                                          const std::string& password = "") {
  return data::OpenConnection(JetConnectionString(JetFile(name), password));
}

using test_support::ErrorOf;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(JetFile, ReadsEachFileOfTheSameTableWithOrWithoutItsPassword) {
  const struct {
    const char* file;
    const char* password;
  } kCases[] = {
      {"V2003_with-password.mdb", "password"}, {"V2000_with-password.mdb", "password"},
      {"V2003_with-password.mdb", ""},         {"V2003_no-password.mdb", ""},
      {"V2003_no-password.mdb", "907qx"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.file) + " password '" + c.password + "'");
    auto connection = OpenJet(c.file, c.password);
    RecordSet rs;
    rs.Open(*connection, "Select * from Table1 order by ID");
    ASSERT_EQ(2, rs.FieldCount());
    EXPECT_EQ("ID", rs.FieldName(0));
    EXPECT_EQ("Data", rs.FieldName(1));
    ASSERT_EQ(3, rs.RecordCount());
    for (const auto& [id, data] : {std::pair{1, "One"}, {2, "Two"}, {3, "Three"}}) {
      EXPECT_EQ(Value(id), rs.Field("ID"));
      EXPECT_EQ(Value(data), rs.Field("data"));
      rs.MoveNext();
    }
    EXPECT_TRUE(rs.Eof());
  }
}

TEST(JetFile, ReadsAnRc4EncodedFile) {
  auto connection = OpenJet("db-enc.mdb");
  const data::QueryResult result =
      connection->Query("Select ID, col1, col2 from Table1 order by ID");
  ASSERT_EQ(2u, result.rows.size());
  EXPECT_EQ((std::vector<Value>{1, "hello", 0}), result.rows[0]);
  EXPECT_EQ((std::vector<Value>{2, "world", 42}), result.rows[1]);
}

class ProjectRow : public ::testing::Test {
 protected:
  void SetUp() override {
    connection_ = OpenJet("test2V2003.mdb");
    rs_.Open(*connection_, "Select * from MSP_PROJECTS");
    ASSERT_EQ(1, rs_.RecordCount());
  }

  std::unique_ptr<data::Connection> connection_;
  RecordSet rs_;
};

TEST_F(ProjectRow, BooleansAreBooleansAndNullsStayNull) {
  ASSERT_EQ(74, rs_.FieldCount());
  int booleans = 0;
  int trues = 0;
  int nulls = 0;
  for (int i = 0; i < rs_.FieldCount(); ++i) {
    const Value& value = rs_.Field(i);
    if (value.IsNull()) ++nulls;
    if (const bool* b = std::get_if<bool>(&value.raw())) {
      ++booleans;
      if (*b) ++trues;
    }
  }
  EXPECT_EQ(22, booleans);
  EXPECT_EQ(8, trues);
  EXPECT_EQ(14, nulls);

  EXPECT_EQ(Value(true), rs_.Field("PROJ_OPT_CALC_ACT_COSTS"));
  EXPECT_EQ(-1, rs_.Field("PROJ_OPT_CALC_ACT_COSTS").AsInt32());  // Jet's true
  EXPECT_EQ(Value(false), rs_.Field("PROJ_OPT_MULT_CRITICAL_PATHS"));
  for (const char* name :
       {"PROJ_PROP_CATEGORY", "PROJ_INFO_STATUS_DATE", "PROJ_PROJECT", "PROJ_TYPE"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(rs_.Field(name).IsNull());
  }
}

TEST_F(ProjectRow, NumbersTextsDatesAndLongValues) {
  EXPECT_EQ(Value(1), rs_.Field("PROJ_ID"));
  EXPECT_EQ(Value(480), rs_.Field("PROJ_OPT_MINUTES_PER_DAY"));
  EXPECT_EQ(Value(0.0), rs_.Field("PROJ_OPT_DEF_OVT_RATE"));
  EXPECT_EQ(Value("Project1"), rs_.Field("PROJ_NAME"));
  EXPECT_EQ(Value("£"), rs_.Field("PROJ_OPT_CURRENCY_SYMBOL"));  // UTF-8
  EXPECT_EQ(Value("2006-02-03 08:00:00"), rs_.Field("PROJ_INFO_CURRENT_DATE"));
  EXPECT_EQ(Value("Z:\\temp\\Project1.mpd"), rs_.Field("PROJ_DATA_SOURCE"));

  const std::string author = rs_.Field("PROJ_PROP_AUTHOR").AsText();  // a memo
  EXPECT_EQ(348u, author.size());
  EXPECT_EQ(0u, author.find("Jon Iles this is a a vawesrasoih"));

  // An OLE value of 22970 bytes kept on a chain of pages, read whole.
  const std::string blob = rs_.Field("RESERVED_BINARY_DATA").AsText();
  ASSERT_EQ(22970u, blob.size());
  EXPECT_EQ(std::string("\x15\x1c\x2d\x00", 4), blob.substr(0, 4));
  EXPECT_EQ(std::string("\xe2\xad\x05\xfe", 4), blob.substr(blob.size() - 4));
}

TEST(JetFile, TrueAndFalseFiltersMatchJetBooleans) {
  auto connection = OpenJet("test2V2003.mdb");
  const struct {
    const char* where;
    int rows;
  } kCases[] = {
      {"[PROJ_OPT_CALC_ACT_COSTS]=true", 1},
      {"[PROJ_OPT_CALC_ACT_COSTS]=false", 0},
      {"[PROJ_OPT_MULT_CRITICAL_PATHS]=false", 1},
      {"[PROJ_OPT_MULT_CRITICAL_PATHS]=true", 0},
      {"PROJ_OPT_CALC_ACT_COSTS = True and PROJ_IS_RES_POOL = False", 1},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.where);
    RecordSet rs;
    rs.Open(*connection, std::string("Select * from MSP_PROJECTS Where ") + c.where,
            data::CursorType::kDynamic, data::LockType::kOptimistic);
    EXPECT_EQ(c.rows, rs.RecordCount());
  }
}

TEST(JetFile, MaxOverATableAndOverNoRows) {
  auto connection = OpenJet("V2003_with-password.mdb", "password");
  RecordSet rs;
  rs.Open(*connection, "select max([ID]) as MM from [Table1]");
  EXPECT_EQ(3, rs.Field("MM").AsInt32());
  rs.Open(*connection, "select max([ID]) as MM from [Table1] Where ID > 3");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_TRUE(rs.Field("MM").IsNull());
}

TEST(JetFile, SingleSpaceTextIsNeitherEmptyNorNull) {
  auto connection = OpenJet("fixedTextTestV2003.mdb");
  RecordSet rs;
  rs.Open(*connection, "Select * from users order by i_user_id");
  ASSERT_EQ(2, rs.RecordCount());
  ASSERT_EQ(10, rs.FieldCount());
  EXPECT_EQ(Value(" "), rs.Field("c_user_pwd"));
  EXPECT_EQ(Value("CORE USER"), rs.Field("c_user_login"));
  for (int pass = 0; pass < 2; ++pass, rs.MoveNext()) {
    for (int i = 0; i < rs.FieldCount(); ++i) {
      SCOPED_TRACE(rs.FieldName(i));
      EXPECT_FALSE(rs.Field(i).IsNull());  // every column is NOT NULL in this file
    }
  }
  rs.Open(*connection, "Select i_user_id from users Where c_user_pwd=' '");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(1, rs.Field(0).AsInt32());
  rs.Open(*connection, "Select i_user_id from users Where c_user_pwd=''");
  EXPECT_EQ(0, rs.RecordCount());
}

TEST(JetFile, EveryTableOfAFileAndTextsCompareWithoutCase) {
  auto connection = OpenJet("indexTestV2003.mdb");
  const struct {
    const char* sql;
    std::int64_t rows;
  } kCases[] = {
      {"Select * from Table1", 4},
      {"Select * from [Table2]", 3},
      {"Select * from table3", 4},
      {"Select t1.id from Table1 t1 inner join Table3 t3 on t1.otherfk2 = t3.id", 4},
      {"Select id from Table1 Where data = 'BAZ11'", 1},
      {"Select TOP 2 id from Table3 order by id desc", 2},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.sql);
    RecordSet rs;
    rs.Open(*connection, c.sql);
    EXPECT_EQ(c.rows, rs.RecordCount());
  }
}

TEST(JetFile, WritesAreRefusedNamingTheFile) {
  const std::filesystem::path file = JetFile("V2003_no-password.mdb");
  auto connection = data::OpenConnection(JetConnectionString(file, ""));
  for (const char* sql : {"Insert Into Table1(ID,Data) Values(4,'Four')",
                          "Update Table1 Set Data='x' Where ID=1", "Delete from Table1"}) {
    SCOPED_TRACE(sql);
    for (const bool as_query : {false, true}) {
      const base::AgentError error = ErrorOf([&] {
        if (as_query) {
          connection->Query(sql);
        } else {
          connection->Execute(sql);
        }
      });
      EXPECT_EQ(base::kDatabaseError, error.number());
      EXPECT_TRUE(Contains(error.description(), file.string())) << error.description();
      EXPECT_TRUE(Contains(error.description(), "SQLite-format")) << error.description();
    }
  }
  // The working copy was not changed either.
  EXPECT_EQ(3u, connection->Query("Select * from Table1 Where Data <> 'x'").rows.size());
}

TEST(JetFile, QueryOnAMissingTableNamesTableAndFile) {
  auto connection = OpenJet("V2003_no-password.mdb");
  const base::AgentError error =
      ErrorOf([&] { connection->Query("Select * from Settings Where [Using]=true"); });
  EXPECT_EQ(base::kDatabaseError, error.number());
  EXPECT_TRUE(Contains(error.description(), "no such table: Settings")) << error.description();
  EXPECT_TRUE(Contains(error.description(), "V2003_no-password.mdb")) << error.description();
}

TEST(JetFile, FilesThatAreNotDatabasesFailClearly) {
  test_support::TempDir dir;
  const std::filesystem::path text = dir.path() / "mavdata.cdf";
  std::ofstream(text) << "not a database at all, just some text that is long enough\n";
  // A Jet header followed by nothing: the first page is cut short.
  const std::filesystem::path cut = dir.path() / "SMSData.mdb";
  {
    std::ifstream in(JetFile("V2003_no-password.mdb"), std::ios::binary);
    std::string head(64, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(cut, std::ios::binary) << head;
  }
  const std::filesystem::path missing = dir.path() / "missing.mdb";

  for (const auto& file : {text, cut, missing}) {
    SCOPED_TRACE(file.string());
    const base::AgentError error =
        ErrorOf([&] { data::OpenConnection(JetConnectionString(file, "907qx")); });
    EXPECT_EQ(base::kConnectionFailed, error.number());
    EXPECT_TRUE(Contains(error.description(), file.string())) << error.description();
    EXPECT_THROW(data::OpenJetFile(file, "907qx"), base::AgentError);
  }
}

// A copy of test file `name` in `dir` with the 32-bit little-endian `value` at `offset`.
std::filesystem::path PatchedCopy(const test_support::TempDir& dir, const std::string& name,
                                  std::size_t offset, std::uint32_t value) {
  std::ifstream in(JetFile(name), std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = static_cast<char>(value >> (8 * i));
  const std::filesystem::path file = dir.path() / name;
  std::ofstream(file, std::ios::binary) << bytes;
  return file;
}

// The 22970-byte OLE value of MSP_PROJECTS: a length past the reader's limit, and a page chain
// that comes back on itself, end the query with an error instead of a runaway read.
TEST(JetFile, DamagedLongValuesFailTheQuery) {
  const struct {
    std::size_t offset;
    std::uint32_t value;
    const char* want;
  } kCases[] = {
      {0x3CFBA, 0x3FFFFFFF, "claims 1073741823 bytes"},  // the value's length word
      {0x35014, 0x3500, "loop"},                         // its first part links to itself
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.want);
    test_support::TempDir dir;
    const std::filesystem::path file = PatchedCopy(dir, "test2V2003.mdb", c.offset, c.value);
    auto connection = data::OpenConnection(JetConnectionString(file, ""));
    const base::AgentError error =
        ErrorOf([&] { connection->Query("Select * from MSP_PROJECTS"); });
    EXPECT_EQ(base::kDatabaseError, error.number());
    EXPECT_TRUE(Contains(error.description(), c.want)) << error.description();
    EXPECT_TRUE(Contains(error.description(), file.string())) << error.description();
  }
}

// Files on which mdbtools itself loops for ever or allocates without end (found by fuzzing
// the reader, fuzz/jet_reader_fuzz.cpp): the reader child is stopped and the open or the
// query fails with an error naming the file, while other files still read.
TEST(JetFile, FilesThatBreakTheReaderFailAlone) {
  for (const char* name : {"catalog-properties-loop.mdb", "runaway-allocation.mdb"}) {
    SCOPED_TRACE(name);
    const std::filesystem::path file = JetFile(std::string("damaged/") + name);
    std::vector<base::AgentError> errors;
    try {
      auto connection = data::OpenConnection(JetConnectionString(file, ""));
      for (const char* table : {"Table1", "Table2", "Table3", "MSP_PROJECTS", "users"}) {
        try {
          connection->Query(std::string("Select * from ") + table);
        } catch (const base::AgentError& e) {
          errors.push_back(e);
        }
      }
    } catch (const base::AgentError& e) {
      errors.push_back(e);
    }
    ASSERT_FALSE(errors.empty());
    for (const base::AgentError& e : errors) {
      EXPECT_TRUE(Contains(e.description(), file.string())) << e.description();
    }
  }
  EXPECT_EQ(3u, OpenJet("V2003_no-password.mdb")->Query("Select * from Table1").rows.size());
}

}  // namespace
