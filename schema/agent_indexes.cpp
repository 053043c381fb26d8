#include "schema/agent_indexes.h"

#include <cctype>
#include <exception>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "data/sql_dialect.h"

namespace schema {

using data::EqualsIgnoreCase;

namespace {

// A key column of an existing index: its column's name ("" for an expression), on SQLite the
// collation the index sorts it by ("" on SQL Server, where an index always takes its column's
// collation), and whether it is sorted descending.
struct KeyColumn {
  std::string name;
  std::string collation;
  bool descending = false;
};

// An existing index: its key columns in key order and, for a partial index (SQLite only; SQL
// Server's filtered indexes are left out), its condition as its CREATE INDEX text writes it.
struct ExistingIndex {
  std::vector<KeyColumn> keys;
  bool partial = false;
  std::string condition;
};

// A column of an agent's index: "Date" or "Date DESC".
struct ListedColumn {
  std::string name;
  bool descending = false;
};

ListedColumn ParseColumn(const std::string& column) {
  const std::size_t blank = column.find(' ');
  if (blank == std::string::npos) return {column, false};
  return {column.substr(0, blank), EqualsIgnoreCase(column.substr(blank + 1), "DESC")};
}

// The text after the key column list of a CREATE INDEX statement, its "WHERE" left out: the
// condition of a partial index ("" when there is none). Quoted and bracketed parts are
// skipped whole, so a ")" inside a name does not end the list.
std::string ConditionOf(const std::string& create_index) {
  int depth = 0;
  bool opened = false;
  std::size_t i = 0;
  for (; i < create_index.size() && !(opened && depth == 0); ++i) {
    const char c = create_index[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const std::size_t end = create_index.find(close, i + 1);
      if (end == std::string::npos) return "";
      i = end;
    } else if (c == '(') {
      ++depth;
      opened = true;
    } else if (c == ')') {
      --depth;
    }
  }
  std::string rest = create_index.substr(i);
  const std::size_t first = rest.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  rest = rest.substr(first);
  if (rest.size() < 5 || !EqualsIgnoreCase(rest.substr(0, 5), "WHERE")) return "";
  return rest.substr(5);
}

// A condition without its blanks, in lower case, except inside quotes: two texts of the same
// condition compare equal.
std::string Normalized(const std::string& condition) {
  std::string out;
  char quote = 0;
  for (const char c : condition) {
    if (quote != 0) {
      out += c;
      if (c == quote) quote = 0;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out += c;
    } else if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

// Every index of `table`: full ones, and on SQLite partial ones with their conditions.
std::vector<ExistingIndex> TableIndexes(data::Connection& connection, const std::string& table) {
  const std::string name = data::SqlText(table);
  const bool sqlite = connection.dialect() == data::Dialect::kSqlite;
  // Rows: index name, column name, collation, descending, partial; ordered by index, then
  // key position.
  const std::string sql =
      sqlite
          ? "SELECT il.name, ix.name, ix.coll, ix.desc, il.partial FROM pragma_index_list(" + name +
                ") AS il JOIN pragma_index_xinfo(il.name) AS ix WHERE ix.key=1 "
                "ORDER BY il.seq, ix.seqno"
          : "SELECT i.name, c.name, '', CAST(ic.is_descending_key AS int), 0 FROM sys.indexes "
            "AS i JOIN sys.index_columns AS ic ON ic.object_id=i.object_id AND "
            "ic.index_id=i.index_id JOIN sys.columns AS c ON c.object_id=ic.object_id AND "
            "c.column_id=ic.column_id "
            "WHERE i.object_id=OBJECT_ID(" +
                name +
                ") AND ic.key_ordinal>0 AND i.has_filter=0 AND i.is_disabled=0 AND "
                "i.is_hypothetical=0 ORDER BY i.index_id, ic.key_ordinal";
  std::vector<ExistingIndex> indexes;
  std::vector<std::string> names;
  for (const auto& row : connection.Query(sql).rows) {
    const std::string index = row.at(0).AsText();
    if (names.empty() || index != names.back()) {
      names.push_back(index);
      indexes.emplace_back();
      indexes.back().partial = !row.at(4).IsNull() && row.at(4).AsInt64() != 0;
    }
    indexes.back().keys.push_back({row.at(1).IsNull() ? "" : row.at(1).AsText(),
                                   row.at(2).IsNull() ? "" : row.at(2).AsText(),
                                   !row.at(3).IsNull() && row.at(3).AsInt64() != 0});
  }
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (!indexes[i].partial) continue;
    const data::QueryResult create = connection.Query(
        "SELECT sql FROM sqlite_master WHERE type='index' AND name=" + data::SqlText(names[i]));
    if (!create.rows.empty() && !create.rows.front().at(0).IsNull()) {
      indexes[i].condition = ConditionOf(create.rows.front().at(0).AsText());
    }
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
  text += ")";
  if (index.where != nullptr) text += " where " + std::string(index.where);
  return text;
}

// True when an index of `table` has `columns` as its leading key columns and holds the rows
// of `condition` ("" for every row); see HasIndexOn.
bool Serves(data::Connection& connection, const std::string& table,
            const std::vector<ListedColumn>& columns, const std::string& condition) {
  const bool sqlite = connection.dialect() == data::Dialect::kSqlite;
  bool directed = false;  // some column sorted descending: the directions matter
  std::vector<std::string> collations;
  for (const ListedColumn& column : columns) {
    directed = directed || column.descending;
    if (sqlite) collations.push_back(ColumnCollation(connection, table, column.name));
  }
  const std::string wanted = Normalized(condition);
  for (const ExistingIndex& index : TableIndexes(connection, table)) {
    if (index.partial != !condition.empty()) continue;
    if (index.partial && Normalized(index.condition) != wanted) continue;
    if (index.keys.size() < columns.size()) continue;
    bool leads = true;
    for (std::size_t i = 0; i < columns.size() && leads; ++i) {
      const KeyColumn& key = index.keys[i];
      leads = EqualsIgnoreCase(key.name, columns[i].name) &&
              (!sqlite || EqualsIgnoreCase(key.collation, collations[i])) &&
              (!directed || key.descending == columns[i].descending);
    }
    if (leads) return true;
  }
  return false;
}

std::vector<ListedColumn> Listed(const AgentIndex& index) {
  std::vector<ListedColumn> columns;
  for (const char* column : index.columns) columns.push_back(ParseColumn(column));
  return columns;
}

}  // namespace

std::string AgentIndex::Name() const {
  if (name != nullptr) return name;
  std::string text = std::string("MAV_") + table;
  for (const char* column : columns) text += std::string("_") + column;
  return text;
}

const std::vector<AgentIndex>& AgentIndexes() {
  static const std::vector<AgentIndex> kIndexes = {
      // Every reply reads the loan's ledger by account code: sums, the latest paid-up-to
      // date ("order by PaidUpto Desc"), and the first rows of the loan's and the
      // interest-income account's ledgers by PaidUpto.
      {"Master", {"CODE", "PaidUpto"}},
      // The loan rows of an account, latest first and grouped (the interest paid-up-to
      // date), read forward only for their first rows. On SQLite the statement groups by
      // Date first and names the rest of its grouping as its sort order, with the mark
      // "Date IS Date" (GroupInSortOrderForSqlite): this index hands its rows over in that
      // order, so the first groups come back without the others being grouped and sorted.
      // The mark keeps every other statement off it: a min() of Date would read it end to
      // end, and a sum would add up in another order.
      {"Master",
       {"CODE", "Date DESC", "Index_Rec", "PaidUpto", "VOUCHER_NO", "Vtype", "BillNo", "Fyear",
        "Status", "Particular"},
       "Date IS Date",
       "MAV_Master_CODE_Latest",
       true},
      // An account's disbursement and opening-balance rows: its first loan date and the
      // amount lent read these few rows instead of the whole ledger (the interest-income
      // account has none among its 400,000). Its key is the account alone, so the rows come
      // in the table's order, as through an index on CODE: sums add up in the same order.
      // The statements keep the texts of their condition (ParameterizeForSqlite), so that
      // SQLite sees it is this index's own.
      {"Master",
       {"CODE"},
       "Status='Loan' OR Vtype='Opening Balance'",
       "MAV_Master_CODE_Loan",
       true},
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
  std::vector<ListedColumn> listed;
  for (const std::string& column : columns) listed.push_back({column, false});
  return Serves(connection, table, listed, "");
}

bool HasIndexOn(data::Connection& connection, const AgentIndex& index) {
  return Serves(connection, index.table, Listed(index), index.where != nullptr ? index.where : "");
}

namespace {

// True when the index is there after all: another agent starting on the same catalog made it
// while this one tried.
bool AppearedMeanwhile(data::Connection& connection, const AgentIndex& index) {
  try {
    return HasIndexOn(connection, index);
  } catch (const base::AgentError&) {
    return false;
  }
}

}  // namespace

int CreateAgentIndexes(data::Connection& connection, std::ostream& log) {
  const bool sqlite = connection.dialect() == data::Dialect::kSqlite;
  int created = 0;
  for (const AgentIndex& index : AgentIndexes()) {
    if (index.embedded_only && !sqlite) continue;
    const char* step = "checked";
    try {
      if (HasIndexOn(connection, index)) continue;
      step = "created";
      // Without a collation of its own, each key column sorts by the column's collation,
      // which is the one the agent's comparisons use.
      std::string sql = "CREATE INDEX [" + index.Name() + "] ON [" + index.table + "] (";
      const std::vector<ListedColumn> columns = Listed(index);
      for (std::size_t i = 0; i < columns.size(); ++i) {
        sql +=
            (i > 0 ? ",[" : "[") + columns[i].name + "]" + (columns[i].descending ? " DESC" : "");
      }
      sql += ")";
      if (index.where != nullptr) sql += std::string(" WHERE ") + index.where;
      connection.Execute(sql);
      ++created;
    } catch (const base::AgentError& e) {
      if (AppearedMeanwhile(connection, index)) continue;
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
