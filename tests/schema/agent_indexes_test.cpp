#include "schema/agent_indexes.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>

#include "tests/support/test_catalog.h"

namespace schema {
namespace {

std::set<std::string> IndexNames(test_support::TestCatalog& catalog) {
  std::set<std::string> names;
  for (const auto& row : catalog.Query("Select name from sqlite_master Where type='index'").rows) {
    names.insert(row.at(0).AsText());
  }
  return names;
}

// An index already there counts when its leading key columns are the ones needed, whatever
// its name; the agent creates the others under its own names, and only once.
TEST(CreateAgentIndexes, CountsIndexesOfOtherNamesAndCreatesTheMissingOnes) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path(), "MavData", test_support::CatalogLevel::kCurrent);
  const struct {
    const char* existing;
    const char* agent_index;
    bool created;
  } kCases[] = {
      {"Create Index Acc_Key On Acc(ACCODE,Mid)", "MAV_Acc_ACCODE", false},
      {"Create Unique Index Statement_Serial On loanstatement(sn)", "MAV_LoanStatement_SN", false},
      // The column compares without regard to case; so does this index.
      {"Create Index Master_Day On Master(Date COLLATE NOCASE,Status)", "MAV_Master_Date", false},
      {"Create Index Master_Code On Master(CODE)", "MAV_Master_CODE_PaidUpto", true},
      {"Create Index Master_Paid On Master(PaidUpto,CODE)", "MAV_Master_CODE_PaidUpto", true},
      {"Create Index Acc_Name On Acc(Name COLLATE BINARY)", "MAV_Acc_Name", true},
      {"Create Index Pending On SMSService(Reply) Where Reply is null", "MAV_SMSService_Reply",
       true},
      {"Create Index Amortization_Code On Amortization(Accode+0)", "MAV_Amortization_Accode", true},
  };
  for (const auto& c : kCases) catalog.Exec(c.existing);

  std::ostringstream log;
  const int created = CreateAgentIndexes(catalog.connection(), log);
  EXPECT_EQ("", log.str());
  const std::set<std::string> names = IndexNames(catalog);
  int kept = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.existing);
    EXPECT_EQ(c.created, names.count(c.agent_index) == 1);
    if (!c.created) ++kept;
  }
  EXPECT_EQ(static_cast<int>(AgentIndexes().size()) - kept, created);
  for (const AgentIndex& index : AgentIndexes()) {
    SCOPED_TRACE(index.Name());
    EXPECT_TRUE(HasIndexOn(catalog.connection(), index.table,
                           std::vector<std::string>(index.columns.begin(), index.columns.end())));
  }

  EXPECT_EQ(0, CreateAgentIndexes(catalog.connection(), log));
  EXPECT_EQ("", log.str());
}

// An index the catalog refuses is reported once and left out; the others are created.
TEST(CreateAgentIndexes, RefusalIsLoggedAndTheOthersAreStillCreated) {
  test_support::TempDir dir;
  test_support::TestCatalog catalog(dir.path());  // before the upgrade: tables and columns missing
  const std::set<std::string> kRefused = {"MAV_Master_Acode_Status_Fyear",
                                          "MAV_Master_iDate_Fyear",
                                          "MAV_Master_eDate",
                                          "MAV_LoanSMS_Reply",
                                          "MAV_LoanSMS_SN",
                                          "MAV_SMSService_Reply",
                                          "MAV_SMSService_SN",
                                          "MAV_LoanStatement_Message_Reply",
                                          "MAV_LoanStatement_SN"};

  std::ostringstream log;
  const int created = CreateAgentIndexes(catalog.connection(), log);
  EXPECT_EQ(static_cast<int>(AgentIndexes().size() - kRefused.size()), created);
  std::istringstream lines(log.str());
  std::multiset<std::string> reported;
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    EXPECT_NE(std::string::npos, line.find(" not created: Error "));
    reported.insert(line.substr(6, line.find(' ', 6) - 6));  // after "Index "
  }
  EXPECT_EQ(std::multiset<std::string>(kRefused.begin(), kRefused.end()), reported);
}

}  // namespace
}  // namespace schema
