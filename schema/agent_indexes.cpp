#include "schema/agent_indexes.h"

#include <exception>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "data/sql_dialect.h"

namespace schema {

using data::EqualsIgnoreCase;

namespace {

// A key column of an existing index: its column's name ("" for an expression) and, on
// SQLite, the collation the index sorts it by ("" on SQL Server, where an index always
// takes its column's collation).
struct KeyColumn {
  std::string name;
  std::string collation;
};

// The key columns of every index of `table` that covers all of its rows, in key order.
std::vector<std::vector<KeyColumn>> IndexKeys(data::Connection& connection,
                                              const std::string& table) {
  const std::string name = data::SqlText(table);
  // Rows: index name, column name, collation; ordered by index, then key position.
  const std::string sql =
      connection.dialect() == data::Dialect::kSqlite
          ? "SELECT il.name, ix.name, ix.coll FROM pragma_index_list(" + name +
                ") AS il JOIN pragma_index_xinfo(il.name) AS ix WHERE il.partial=0 AND ix.key=1 "
                "ORDER BY il.seq, ix.seqno"
          : "SELECT i.name, c.name, '' FROM sys.indexes AS i JOIN sys.index_columns AS ic ON "
            "ic.object_id=i.object_id AND ic.index_id=i.index_id JOIN sys.columns AS c ON "
            "c.object_id=ic.object_id AND c.column_id=ic.column_id WHERE i.object_id=OBJECT_ID(" +
                name +
                ") AND ic.key_ordinal>0 AND i.has_filter=0 AND i.is_disabled=0 AND "
                "i.is_hypothetical=0 ORDER BY i.index_id, ic.key_ordinal";
  std::vector<std::vector<KeyColumn>> indexes;
  std::string current;
  for (const auto& row : connection.Query(sql).rows) {
    const std::string index = row.at(0).AsText();
    if (indexes.empty() || index != current) indexes.emplace_back();
    current = index;
    indexes.back().push_back({row.at(1).IsNull() ? "" : row.at(1).AsText(),
                              row.at(2).IsNull() ? "" : row.at(2).AsText()});
  }
  return indexes;
}

// The collation SQLite compares `column` of `table` by, as its definition declares it.
std::string ColumnCollation(data::Connection& connection, const std::string& table,
                            const std::string& column) {
  const data::QueryResult result = connection.Query(
      "SELECT sql FROM sqlite_master WHERE type='table' AND name=" + data::SqlText(table) +
      " COLLATE NOCASE");
  if (result.rows.empty() || result.rows.front().at(0).IsNull()) return "";
  return data::DeclaredCollation(result.rows.front().at(0).AsText(), column);
}

std::string Described(const AgentIndex& index) {
  std::string text = std::string(index.table) + "(";
  for (std::size_t i = 0; i < index.columns.size(); ++i) {
    text += (i > 0 ? "," : "") + std::string(index.columns[i]);
  }
  return text + ")";
}

}  // namespace

std::string AgentIndex::Name() const {
  std::string name = std::string("MAV_") + table;
  for (const char* column : columns) name += std::string("_") + column;
  return name;
}

const std::vector<AgentIndex>& AgentIndexes() {
  static const std::vector<AgentIndex> kIndexes = {
      // Every reply reads the loan's ledger by account code: sums, first loan date, the
      // latest paid-up-to date ("order by PaidUpto Desc"), and the first rows of the loan's
      // and the interest-income account's ledgers by PaidUpto.
      {"Master", {"CODE", "PaidUpto"}},
      // Pass 1 finds the repayment rows without loan codes, pass 2 the deposit rows without
      // an entry date; both then update whole vouchers by number and year.
      {"Master", {"Acode", "Status", "Fyear"}},
      {"Master", {"iDate", "Fyear"}},
      {"Master", {"VOUCHER_NO", "Fyear"}},
      // The transfer rows without a BS date ("date is null or date='0000/00/00'"), then
      // updated by their AD date.
      {"Master", {"Date"}},
      {"Master", {"eDate"}},
      // Accounts by code (lookups; the passes' joins from the rows found above to their
      // subledger and ledger) and by name (the interest-income account, for every reply).
      {"Acc", {"ACCODE"}},
      {"Acc", {"Name"}},
      {"SubLedger", {"SubCODE"}},
      {"Ledger", {"LCODE"}},
      {"Amortization", {"Accode"}},
      // The request queues: pending rows, then each answer stored by serial.
      {"LoanSMS", {"Reply"}},
      {"LoanSMS", {"SN"}},
      {"SMSService", {"Reply"}},
      {"SMSService", {"SN"}},
      {"LoanStatement", {"Message_Reply"}},
      {"LoanStatement", {"SN"}},
  };
  return kIndexes;
}

bool HasIndexOn(data::Connection& connection, const std::string& table,
                const std::vector<std::string>& columns) {
  const bool sqlite = connection.dialect() == data::Dialect::kSqlite;
  std::vector<std::string> collations;
  if (sqlite) {
    for (const std::string& column : columns) {
      collations.push_back(ColumnCollation(connection, table, column));
    }
  }
  for (const std::vector<KeyColumn>& keys : IndexKeys(connection, table)) {
    if (keys.size() < columns.size()) continue;
    bool leads = true;
    for (std::size_t i = 0; i < columns.size() && leads; ++i) {
      leads = EqualsIgnoreCase(keys[i].name, columns[i]) &&
              (!sqlite || EqualsIgnoreCase(keys[i].collation, collations[i]));
    }
    if (leads) return true;
  }
  return false;
}

namespace {

// True when the index is there after all: another agent starting on the same catalog made it
// while this one tried.
bool AppearedMeanwhile(data::Connection& connection, const std::string& table,
                       const std::vector<std::string>& columns) {
  try {
    return HasIndexOn(connection, table, columns);
  } catch (const base::AgentError&) {
    return false;
  }
}

}  // namespace

int CreateAgentIndexes(data::Connection& connection, std::ostream& log) {
  int created = 0;
  for (const AgentIndex& index : AgentIndexes()) {
    const std::vector<std::string> columns(index.columns.begin(), index.columns.end());
    const char* step = "checked";
    try {
      if (HasIndexOn(connection, index.table, columns)) continue;
      step = "created";
      // Without a collation of its own, each key column sorts by the column's collation,
      // which is the one the agent's comparisons use.
      std::string sql = "CREATE INDEX [" + index.Name() + "] ON [" + index.table + "] (";
      for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i > 0 ? ",[" : "[") + columns[i] + "]";
      }
      connection.Execute(sql + ")");
      ++created;
    } catch (const base::AgentError& e) {
      if (AppearedMeanwhile(connection, index.table, columns)) continue;
      log << "Index " << index.Name() << " on " << Described(index) << " not " << step << ": "
          << e.Report() << std::endl;
    } catch (const std::exception& e) {
      log << "Index " << index.Name() << " on " << Described(index) << " not " << step << ": "
          << e.what() << std::endl;
    }
  }
  return created;
}

}  // namespace schema
