#include "schema/schema_probes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/agent_error.h"
#include "data/connection.h"
#include "tests/schema/schema_test_util.h"
#include "tests/support/test_catalog.h"

namespace schema {
namespace {

using schema_test::RawCatalog;

class SchemaProbes : public ::testing::Test {
 protected:
  void SetUp() override {
    RawCatalog raw(folder_.path() / "MavData.db");
    raw.Exec(
        "create table Master(CODE int, VOUCHER_NO int, iDate varchar(10), Debit float);"
        "create table Acc(ACCODE int, Nalias varchar(30));"
        "insert into Acc values(1, 'x');"
        "create view AccView as select ACCODE from Acc;");
    main_ = data::OpenConnection(ConnectionString("MavData"));
  }

  std::string ConnectionString(const std::string& catalog) const {
    return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=;pwd=;Initial Catalog=" +
           catalog + ";Data Source=" + folder_.path().string();
  }

  test_support::TempDir folder_;
  std::unique_ptr<data::Connection> main_;
};

TEST_F(SchemaProbes, TableExistsAnswersForTablesAndViewsInAnyCase) {
  const struct {
    const char* name;
    bool want;
  } kCases[] = {
      {"Master", true}, {"MASTER", true}, {"master", true},    {"AccView", true},
      {"Acc", true},    {"Ac", false},    {"MasterAc", false}, {"District", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.want, TableExists(*main_, c.name));
  }
}

TEST_F(SchemaProbes, TableExistsTakesAQuoteInTheNameAsText) {
  EXPECT_FALSE(TableExists(*main_, "Acc' or '1'='1"));
}

TEST_F(SchemaProbes, ColumnExistsOnAnEmptyTableInAnyLetterCase) {
  // Master has no rows: the columns come from the result's description.
  const struct {
    const char* table;
    const char* column;
    bool want;
  } kCases[] = {
      {"Master", "iDate", true},   {"Master", "IDATE", true},  {"Master", "idate", true},
      {"MASTER", "Debit", true},   {"[Master]", "CODE", true}, {"Master", "dTime", false},
      {"Master", "iDat", false},   {"Acc", "nALIAS", true},    {"Acc", "Alias", false},
      {"AccView", "accode", true},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.table) + "." + c.column);
    EXPECT_EQ(c.want, ColumnExists(*main_, c.table, c.column));
  }
}

TEST_F(SchemaProbes, ColumnExistsOnAMissingTableThrows) {
  EXPECT_THROW(ColumnExists(*main_, "NoSuchTable", "SN"), base::AgentError);
}

TEST_F(SchemaProbes, MasterTableExistsOpensAndKeepsAFreshMasterConnection) {
  int opened = 0;
  const MasterOpener open = [&] {
    ++opened;
    return data::OpenConnection(ConnectionString("Master"));
  };
  std::unique_ptr<data::Connection> master;
  EXPECT_FALSE(MasterTableExists(open, master, "LoginInfo"));
  ASSERT_NE(nullptr, master);
  // The caller creates the table through the connection the probe left open.
  master->Execute("Create Table LoginInfo(SN Int)");
  data::Connection* first = master.get();
  EXPECT_TRUE(MasterTableExists(open, master, "logininfo"));
  EXPECT_EQ(2, opened);
  EXPECT_NE(nullptr, master);
  EXPECT_NE(first, master.get());
  // The Master catalog is its own file: the accounting catalog does not see the table.
  EXPECT_FALSE(TableExists(*main_, "LoginInfo"));
}

TEST_F(SchemaProbes, MasterTableExistsFailsWhenTheMasterCatalogCannotBeOpened) {
  const MasterOpener open = []() -> std::unique_ptr<data::Connection> {
    throw base::AgentError(base::kConnectionFailed, "server unreachable");
  };
  std::unique_ptr<data::Connection> master;
  EXPECT_THROW(MasterTableExists(open, master, "LoginInfo"), base::AgentError);
  EXPECT_THROW(MasterTableExists(MasterOpener(), master, "LoginInfo"), base::AgentError);
}

}  // namespace
}  // namespace schema
