#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/record_set.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/test_catalog.h"

namespace data {
namespace {

namespace fs = std::filesystem;

using test_support::ErrorOf;

std::int64_t Count(Connection& c, const std::string& table) {
  return c.Query("Select Count(*) from " + table).rows.at(0).at(0).AsInt64();
}

TEST(OpenSqliteFile, MissingFileIsCreatedOnlyWhenAsked) {
  test_support::TempDir dir;
  const auto file = dir.path() / "Absent.db";
  const base::AgentError e = ErrorOf([&] { OpenSqliteFile(file, false); });
  EXPECT_EQ(base::kConnectionFailed, e.number());
  EXPECT_NE(std::string::npos, e.description().find(file.string())) << e.description();
  EXPECT_FALSE(std::filesystem::exists(file));

  OpenSqliteFile(file, true)->Execute("Create Table T(x int)");
  EXPECT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(0, Count(*OpenSqliteFile(file, false), "T"));
}

TEST(OpenSqliteFile, FileThatIsNotADatabaseFailsAtOpen) {
  test_support::TempDir dir;
  const auto file = dir.path() / "notes.db";
  std::ofstream(file) << "These are not the pages of a database, just a long line of text "
                         "that fills more than the hundred bytes of a database header.";
  const base::AgentError e = ErrorOf([&] { OpenSqliteFile(file, false); });
  EXPECT_EQ(base::kConnectionFailed, e.number());
  EXPECT_NE(std::string::npos, e.description().find(file.string())) << e.description();
  EXPECT_NE(std::string::npos, e.description().find("not a database")) << e.description();
}

TEST(OpenSqliteFile, UsesTheWriteAheadLog) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "wal.db", true);
  EXPECT_EQ("wal", c->Query("PRAGMA journal_mode").rows.at(0).at(0).AsText());
  EXPECT_EQ(1, c->Query("PRAGMA synchronous").rows.at(0).at(0).AsInt32());  // NORMAL
}

// The outbox of the SMS modem belongs to another program: opened without switching it to
// the write-ahead log, it keeps SQLite's full sync even when its owner chose that log, so a
// queued message is on the disk before the request is marked.
TEST(OpenSqliteFile, FilesOfOtherProgramsSyncEveryCommit) {
  test_support::TempDir dir;
  const auto file = dir.path() / "SMSData.mdb";
  OpenSqliteFile(file, true)->Execute("Create Table Send(SN int)");  // now in WAL mode
  auto c = OpenSqliteFile(file, false, /*write_ahead_log=*/false);
  EXPECT_EQ("wal", c->Query("PRAGMA journal_mode").rows.at(0).at(0).AsText());
  EXPECT_EQ(2, c->Query("PRAGMA synchronous").rows.at(0).at(0).AsInt32());  // FULL
}

// A file that stopped being a database under an open connection fails every statement as a
// lost connection, not as a refused statement.
TEST(SqliteConnection, FileOverwrittenWithOtherDataIsALostConnection) {
  test_support::TempDir dir;
  const auto file = dir.path() / "MavData.db";
  auto c = OpenSqliteFile(file, true);
  c->Execute("Create Table T(x int)");
  c.reset();
  auto journal = OpenSqliteFile(file, false, /*write_ahead_log=*/false);
  journal->Execute("PRAGMA journal_mode=DELETE");
  {
    std::ofstream junk(file, std::ios::binary | std::ios::in | std::ios::out);
    junk << std::string(4096, 'x');
  }
  const base::AgentError e = ErrorOf([&] { journal->Query("Select count(*) from T"); });
  EXPECT_EQ(base::kConnectionLost, e.number()) << e.description();
}

// A file in rollback-journal mode (the modem's outbox) moved or deleted under an open
// connection refuses writes (SQLITE_READONLY_DBMOVED): a lost file, to be opened again by its
// name. (In WAL mode SQLite goes on writing into the moved file; Replaced() tells.)
TEST(SqliteConnection, FileMovedAwayIsALostConnection) {
  if constexpr (fs::path::preferred_separator == '\\') {
    GTEST_SKIP() << "Windows moves no file that a program holds open";
  }
  test_support::TempDir dir;
  const auto file = dir.path() / "SMSData.mdb";
  auto c = OpenSqliteFile(file, true, /*write_ahead_log=*/false);
  c->Execute("Create Table Send(SN int)");
  fs::rename(file, dir.path() / "elsewhere.mdb");
  EXPECT_TRUE(c->Replaced());
  const base::AgentError e = ErrorOf([&] { c->Execute("Insert into Send(SN) values(1)"); });
  EXPECT_EQ(base::kConnectionLost, e.number()) << e.description();
  EXPECT_NE(std::string::npos, e.description().find("SQLite error 1032")) << e.description();
}

// A write lock another connection holds past the busy timeout: the statement failed for a
// while, not for good (start-up waits and tries again).
TEST(SqliteConnection, LockHeldByAnotherIsBusy) {
  test_support::TempDir dir;
  const auto file = dir.path() / "locked.db";
  auto c = OpenSqliteFile(file, true);
  c->Execute("Create Table T(a int)");
  auto other = OpenSqliteFile(file, false);
  other->BeginTransaction();
  const base::AgentError e = ErrorOf([&] { c->Execute("Insert into T(a) values(1)"); });
  EXPECT_EQ(base::kDatabaseBusy, e.number()) << e.description();
  other->Rollback();
}

TEST(SqliteConnection, ErrorCarriesExtendedCodeAndFile) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "e.db", true);
  c->Execute("Create Table T(SN int primary key)");
  c->Execute("Insert Into T(SN) Values(1)");
  const base::AgentError e = ErrorOf([&] { c->Execute("Insert Into T(SN) Values(1)"); });
  EXPECT_EQ(base::kDatabaseError, e.number());
  // SQLITE_CONSTRAINT_PRIMARYKEY, the extended code of a duplicate key.
  EXPECT_NE(std::string::npos, e.description().find("SQLite error 1555")) << e.description();
  EXPECT_NE(std::string::npos, e.description().find("UNIQUE constraint failed"));
  EXPECT_NE(std::string::npos, e.description().find("Insert Into T(SN) Values(1)"));
  EXPECT_NE(std::string::npos, e.description().find("e.db"));
}

TEST(SqliteConnection, SeveralStatementsInOneTextAreAllOrNothing) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "m.db", true);
  c->Execute("Create Table T(a int)");
  // The second ALTER fails (duplicate column): the first must not stay applied.
  const base::AgentError e =
      ErrorOf([&] { c->Execute("Alter Table T Add b int; Alter Table T Add a int"); });
  EXPECT_NE(std::string::npos, e.description().find("duplicate column name"));
  EXPECT_EQ(1u, c->Query("Select * from T").columns.size());

  c->Execute("Alter Table T Add b int; Alter Table T Add c int;");
  EXPECT_EQ(3u, c->Query("Select * from T").columns.size());

  // Inside a transaction the failed text is undone and the transaction goes on.
  c->BeginTransaction();
  c->Execute("Insert Into T(a) Values(1)");
  EXPECT_THROW(c->Execute("Insert Into T(a) Values(2); Insert Into Nope Values(3)"),
               base::AgentError);
  c->Commit();
  RecordSet rs;
  rs.Open(*c, "Select a from T");
  ASSERT_EQ(1, rs.RecordCount());
  EXPECT_EQ(1, rs.Field(0).AsInt32());
}

TEST(SqliteConnection, LaterStatementMaySeeTheTableAnEarlierOneCreated) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "s.db", true);
  c->Execute("Create Table N(x int); Insert Into N(x) Values(5)");
  EXPECT_EQ(1, Count(*c, "N"));
}

TEST(SqliteConnection, BlobsAndLargeIntegersReadExactly) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "b.db", true);
  c->Execute("Create Table T(Logo image,Big int)");
  c->Execute("Insert Into T(Logo,Big) Values(x'00FF4100',9007199254740993)");
  const QueryResult r = c->Query("Select Logo,Big from T");
  EXPECT_EQ(Value(std::string("\0\xff"
                              "A\0",
                              4)),
            r.rows.at(0).at(0));
  EXPECT_EQ(Value(std::int64_t{9007199254740993}), r.rows.at(0).at(1));
}

TEST(SqliteConnection, RollbackAfterTheDriverEndedTheTransactionIsHarmless) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "r.db", true);
  c->Execute("Create Table T(a int)");
  c->BeginTransaction();
  c->Execute("Insert Into T(a) Values(1)");
  c->Execute("ROLLBACK");  // the transaction ends behind the connection's back
  EXPECT_NO_THROW(c->Rollback());
  EXPECT_EQ(0, Count(*c, "T"));
  EXPECT_THROW(c->Commit(), base::AgentError);  // nothing to commit is an error, not a silent no-op
}

TEST(SqliteConnection, ReaderIsNotBlockedByAnotherConnectionsOpenWrite) {
  test_support::TempDir dir;
  const auto file = dir.path() / "w.db";
  auto writer = OpenSqliteFile(file, true);
  writer->Execute("Create Table T(a int)");
  writer->Execute("Insert Into T(a) Values(1)");
  auto reader = OpenSqliteFile(file, false);

  writer->BeginTransaction();
  writer->Execute("Insert Into T(a) Values(2)");
  EXPECT_EQ(1, Count(*reader, "T"));  // the committed state, without waiting
  writer->Commit();
  EXPECT_EQ(2, Count(*reader, "T"));
}

TEST(SqliteConnection, DescribesItsFile) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "MavData.db", true);
  EXPECT_EQ(Dialect::kSqlite, c->dialect());
  EXPECT_NE(std::string::npos, c->Describe().find("MavData.db"));
}

}  // namespace
}  // namespace data

namespace data {
namespace {

TEST(SqliteConnection, MaxRecordsReadsOnlyTheFirstRowsInQueryOrder) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "first.db", true);
  c->Execute("Create Table T(x int)");
  for (int i = 1; i <= 50; ++i) c->Execute("Insert Into T(x) Values(" + std::to_string(i) + ")");

  RecordSet rs;
  rs.SetMaxRecords(2);
  rs.Open(*c, "Select x from T order by x desc");
  EXPECT_EQ(2, rs.RecordCount());
  EXPECT_EQ(50, rs.Field("x").AsInt32());
  rs.MoveNext();
  EXPECT_EQ(49, rs.Field("x").AsInt32());

  // Texts the driver rewrites, and texts with a limit of their own, keep their meaning.
  RecordSet top;
  top.SetMaxRecords(2);
  top.Open(*c, "Select top 5 x from T Where ('a' + 'B')='AB' order by x");
  EXPECT_EQ(2, top.RecordCount());
  EXPECT_EQ(1, top.Field("x").AsInt32());
  RecordSet joined;
  joined.SetMaxRecords(1);
  joined.Open(*c, "Select x from T Where ([x] + ' ')='7 ' or x=9 order by x desc");
  EXPECT_EQ(1, joined.RecordCount());
  EXPECT_EQ(9, joined.Field("x").AsInt32());

  // The limit belongs to the record set, not to the connection: the next query reads all.
  RecordSet all;
  all.Open(*c, "Select x from T");
  EXPECT_EQ(50, all.RecordCount());
}

// Statements run again with the same text see what changed in between: new columns, rows
// written by another connection, a table dropped and created again.
TEST(SqliteConnection, RepeatedTextSeesChangesMadeSinceItLastRan) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "again.db", true);
  auto other = OpenSqliteFile(dir.path() / "again.db", false);
  c->Execute("Create Table T(x int)");
  c->Execute("Insert Into T(x) Values(1)");
  c->Execute("Insert Into T(x) Values(2)");

  EXPECT_EQ(1u, c->Query("Select * from T").columns.size());
  c->Execute("Alter Table T Add y int");
  const QueryResult widened = c->Query("Select * from T");
  ASSERT_EQ(2u, widened.columns.size());
  EXPECT_EQ("y", widened.columns[1]);
  ASSERT_EQ(2u, widened.rows.size());
  EXPECT_EQ(2u, widened.rows[0].size());

  // A query read only in part must not keep its snapshot: the other connection's rows and
  // its checkpoint are not held back by it.
  EXPECT_EQ(1u, c->QueryFirstRows("Select x from T order by x", 1).rows.size());
  other->Execute("Insert Into T(x) Values(0)");
  EXPECT_EQ(0, c->QueryFirstRows("Select x from T order by x", 1).rows.at(0).at(0).AsInt32());
  EXPECT_EQ(0, other->Query("PRAGMA wal_checkpoint(TRUNCATE)").rows.at(0).at(0).AsInt32());

  other->Execute("Drop Table T");
  EXPECT_THROW(c->Query("Select * from T"), base::AgentError);
  other->Execute("Create Table T(z text, w text, v text)");
  other->Execute("Insert Into T(z) Values('a')");
  const QueryResult recreated = c->Query("Select * from T");
  ASSERT_EQ(3u, recreated.columns.size());
  EXPECT_EQ(data::Value("a"), recreated.rows.at(0).at(0));

  // A failing statement fails each time it runs, with its text in the message.
  c->Execute("Create Table U(k int primary key)");
  c->Execute("Insert Into U(k) Values(1)");
  for (int i = 0; i < 2; ++i) {
    const base::AgentError e = ErrorOf([&] { c->Execute("Insert Into U(k) Values(1)"); });
    EXPECT_NE(std::string::npos, e.description().find("Insert Into U(k) Values(1)"));
  }
}

// Texts that differ only in their values share one compiled statement: each still reads
// its own rows, and a value in the result columns still names its column.
TEST(SqliteConnection, TextsThatDifferInTheirValuesReadTheirOwnRows) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "values.db", true);
  c->Execute("Create Table T(k int, name varchar(20) collate nocase)");
  c->Execute("Insert Into T(k,name) Values(1,'Ram'),(2,'Sita''s'),(3,'ramesh')");
  for (const auto& [where, count] : {std::pair{"k=1", 1},
                                     {"k=2", 1},
                                     {"k>1", 2},
                                     {"name='RAM'", 1},
                                     {"name='Sita''s'", 1},
                                     {"name like 'ram%'", 2},
                                     {"name like 'x%'", 0}}) {
    const QueryResult r = c->Query(std::string("Select k, 7 from T where ") + where);
    EXPECT_EQ(static_cast<std::size_t>(count), r.rows.size()) << where;
    EXPECT_EQ("7", r.columns.at(1)) << where;
  }
  EXPECT_EQ(1, c->Execute("Update T set name='Hari' where k=3"));
  EXPECT_EQ(0, c->Execute("Update T set name='Hari' where k=4"));
  EXPECT_EQ("Hari", c->Query("Select name from T where k=3").rows.at(0).at(0).AsText());
}

// Two cursors of one text read their own rows, beside the same text run meanwhile: each
// has a statement of its own while it reads, and the cached one comes back afterwards.
TEST(SqliteConnection, CursorsOfOneTextReadTheirOwnRows) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "cursors.db", true);
  c->Execute("Create Table T(k int,v int)");
  for (int i = 0; i < 6; ++i) {
    c->Execute("Insert into T values(" + std::to_string(i % 2) + "," + std::to_string(i) + ")");
  }
  auto even = c->OpenCursor("Select v from T Where k=0 order by v");
  auto odd = c->OpenCursor("Select v from T Where k=1 order by v");
  std::vector<Value> row;
  std::string seen;
  while (even->Next(row)) {
    seen += row.at(0).AsText();
    ASSERT_TRUE(odd->Next(row));
    seen += row.at(0).AsText();
    seen += "/" + c->Query("Select count(*) from T Where k=1").rows.at(0).at(0).AsText() + " ";
  }
  EXPECT_FALSE(odd->Next(row));
  EXPECT_EQ("01/3 23/3 45/3 ", seen);
  EXPECT_EQ((std::vector<std::string>{"v"}), even->columns());
}

// A cursor that outlives its connection fails its next read instead of touching a
// statement of a closed database.
TEST(SqliteConnection, CursorOfAClosedConnectionFails) {
  test_support::TempDir dir;
  auto c = OpenSqliteFile(dir.path() / "closed.db", true);
  c->Execute("Create Table T(v int)");
  c->Execute("Insert into T values(1),(2)");
  auto cursor = c->OpenCursor("Select v from T");
  c.reset();
  std::vector<Value> row;
  EXPECT_EQ(base::kConnectionLost, ErrorOf([&] { cursor->Next(row); }).number());
}

// The data version stays while nothing is written, and moves with every committed change,
// this connection's own or another's, rows or schema.
TEST(SqliteConnection, DataVersionMovesWithEveryCommittedChange) {
  test_support::TempDir dir;
  const auto file = dir.path() / "version.db";
  auto c = OpenSqliteFile(file, true);
  auto other = OpenSqliteFile(file, false);
  c->Execute("Create Table T(v int)");
  const struct {
    const char* what;
    std::function<void()> act;
    bool moves;
  } kCases[] = {
      {"nothing", [] {}, false},
      {"own read", [&] { c->Query("Select * from T"); }, false},
      {"other's read", [&] { other->Query("Select * from T"); }, false},
      {"own insert", [&] { c->Execute("Insert into T values(1)"); }, true},
      {"other's insert", [&] { other->Execute("Insert into T values(2)"); }, true},
      {"own update of no row", [&] { c->Execute("Update T set v=3 Where v=9"); }, false},
      {"own bookkeeping", [&] { c->ExecuteUncounted("Update T set v=v"); }, false},
      {"own insert after it", [&] { c->Execute("Insert into T values(5)"); }, true},
      {"other's update", [&] { other->Execute("Update T set v=3 Where v=2"); }, true},
      {"other's uncommitted insert",
       [&] {
         other->BeginTransaction();
         other->Execute("Insert into T values(4)");
       },
       false},
      {"its commit", [&] { other->Commit(); }, true},
      {"own index", [&] { c->Execute("Create Index T_v On T(v)"); }, true},
      {"other's index", [&] { other->Execute("Create Index T_v2 On T(v)"); }, true},
  };
  std::optional<std::string> before = c->DataVersion();
  ASSERT_TRUE(before.has_value());
  for (const auto& k : kCases) {
    SCOPED_TRACE(k.what);
    k.act();
    const std::optional<std::string> after = c->DataVersion();
    EXPECT_EQ(k.moves, after != before) << *before << " -> " << *after;
    before = after;
  }
}

}  // namespace
}  // namespace data
