// The Jet driver: a Jet 4 database file (the settings file, the SIM gateway's outbox) read
// through mdbtools' library.
//
// mdbtools reads tables row by row but has no SQL engine for the agent's statements. So each
// query copies the tables it names from the file into an in-memory SQLite database and runs
// there, rewritten into SQLite's dialect like every other SQLite statement. One SQL path for
// all SQLite work keeps "[Using]=true", max(), TOP and bracketed names behaving the same on a
// Jet file as on an SQLite file. The tables are copied afresh for every query, so a query sees
// what other programs wrote to the file since the last one; the files are small (a settings
// table, an outbox).
//
// Jet values become SQLite values: integers as integers, floating and currency values as
// doubles, texts as UTF-8 compared without regard to case (as Jet compares them), date and
// time as "yyyy-mm-dd hh:mm:ss", OLE and binary data as blobs, Null as Null, and Booleans as
// Jet stores them, -1 for true and 0 for false.
//
// Writes are refused: mdbtools cannot write these files.

#include <glib.h>
#include <mdbtools.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/sql_dialect.h"

namespace data {
namespace {

// Declared type of Jet Boolean columns in the in-memory copy: reads of such a column give
// Boolean values back.
constexpr const char* kBooleanType = "BOOLEAN";

// Bytes 4 to 18 of a Jet 3/4 file; ACE (Access 2007 and later) files say "Standard ACE DB".
constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";
constexpr std::size_t kSignatureOffset = 4;

// Jet row positions on a page carry two flags above the 13-bit offset.
constexpr int kRowOffsetMask = 0x1FFF;

// Flags of a memo or OLE field's 12-byte header (the first 32-bit word): data stored in the
// row itself, or in a single row of another page; neither set: a chain of pages.
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueSinglePage = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;

struct MdbCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbCloser>;

struct TableFreer {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};
using TablePtr = std::unique_ptr<MdbTableDef, TableFreer>;

struct StatementDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct GFreer {
  void operator()(void* p) const { g_free(p); }
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// "name" for SQLite, quotes doubled.
std::string QuoteName(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
  return out;
}

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Whether `sql` mentions `name` as a whole word (letter case ignored): bare, in brackets or
// in quotes. A table named where it is not used costs one needless copy, nothing more.
bool Mentions(const std::string& lowered_sql, const std::string& lowered_name) {
  if (lowered_name.empty()) return false;
  std::size_t pos = 0;
  while ((pos = lowered_sql.find(lowered_name, pos)) != std::string::npos) {
    const std::size_t end = pos + lowered_name.size();
    const bool starts = pos == 0 || !IsNameChar(lowered_sql[pos - 1]);
    const bool ends = end >= lowered_sql.size() || !IsNameChar(lowered_sql[end]);
    if (starts && ends) return true;
    ++pos;
  }
  return false;
}

// Whether the file starts like a Jet or ACE database.
bool HasJetHeader(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char header[kSignatureOffset + sizeof kJetSignature - 1] = {};
  if (!in.read(header, sizeof header)) return false;
  const char* signature = header + kSignatureOffset;
  return std::memcmp(signature, kJetSignature, sizeof kJetSignature - 1) == 0 ||
         std::memcmp(signature, kAceSignature, sizeof kAceSignature - 1) == 0;
}

// One field of the current row as mdb_crack_row located it on mdb->pg_buf.
struct RawField {
  bool is_null;
  int start;  // byte offset in the page
  int size;   // bytes
};

class JetConnection : public Connection {
 public:
  JetConnection(MdbPtr mdb, sqlite3* db, std::filesystem::path file)
      : mdb_(std::move(mdb)), db_(db), file_(std::move(file)) {}
  ~JetConnection() override { sqlite3_close_v2(db_); }

  std::int64_t Execute(const std::string& sql) override { RefuseWrite(sql); }

  QueryResult Query(const std::string& sql) override {
    const std::string lowered = Lower(sql);
    for (const std::string& table : TableNames()) {
      if (Mentions(lowered, Lower(table))) CopyTable(table);
    }

    const std::string rewritten = RewriteForSqlite(sql);
    std::string context = "in statement: " + sql;
    if (rewritten != sql) context += " (run as: " + rewritten + ")";

    QueryResult result;
    const char* tail = rewritten.c_str();
    const char* const end = tail + rewritten.size();
    while (tail < end) {
      sqlite3_stmt* raw = nullptr;
      const char* next = nullptr;
      const int rc = sqlite3_prepare_v2(db_, tail, static_cast<int>(end - tail), &raw, &next);
      StatementPtr stmt(raw);
      if (rc != SQLITE_OK) Fail(context);
      if (stmt != nullptr) {
        // The copy is not the file: a change made to it would be lost without a word.
        if (sqlite3_stmt_readonly(stmt.get()) == 0) RefuseWrite(sql);
        Step(stmt.get(), result, context);
      }
      if (next == nullptr || next <= tail) break;
      tail = next;
    }
    return result;
  }

  // Reads only: a transaction has nothing to keep or undo.
  void BeginTransaction() override {}
  void Commit() override {}
  void Rollback() override {}

  Dialect dialect() const override { return Dialect::kSqlite; }

  std::string Describe() const override { return "Jet database file " + file_.string(); }

 private:
  [[noreturn]] void RefuseWrite(const std::string& sql) {
    throw base::AgentError(base::kDatabaseError,
                           "Cannot write to the Jet database file " + file_.string() +
                               ": Jet files are read-only on this platform, so the SMS outbox must "
                               "be an SQLite-format file here (statement: " +
                               sql + ")");
  }

  [[noreturn]] void Fail(const std::string& context) {
    const int code = sqlite3_extended_errcode(db_);
    throw base::AgentError(base::kDatabaseError, "SQLite error " + std::to_string(code) + " (" +
                                                     sqlite3_errstr(code) +
                                                     "): " + sqlite3_errmsg(db_) + " " + context +
                                                     " [" + Describe() + "]");
  }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      Fail("in statement: " + sql);
    }
  }

  // The user tables of the file (system tables MSys* excluded).
  std::vector<std::string> TableNames() {
    std::vector<std::string> names;
    GPtrArray* catalog = mdb_read_catalog(mdb_.get(), MDB_TABLE);
    if (catalog == nullptr) return names;
    for (guint i = 0; i < catalog->len; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (mdb_is_user_table(entry)) names.emplace_back(entry->object_name);
    }
    return names;
  }

  // Replaces the in-memory copy of `name` with the table's rows as the file holds them now.
  void CopyTable(const std::string& name) {
    MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb_.get(), name.c_str());
    if (entry == nullptr) return;
    TablePtr table(mdb_read_table(entry));
    if (table == nullptr || mdb_read_columns(table.get()) == nullptr) {
      throw base::AgentError(base::kDatabaseError,
                             "Cannot read the table " + name + " [" + Describe() + "]");
    }
    const GPtrArray* columns = table->columns;
    const guint count = std::min<guint>(columns->len, MDB_MAX_COLS);

    std::string create = "CREATE TABLE " + QuoteName(name) + " (";
    std::string insert = "INSERT INTO " + QuoteName(name) + " VALUES (";
    for (guint i = 0; i < count; ++i) {
      const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(columns, i));
      if (i > 0) {
        create += ", ";
        insert += ", ";
      }
      create += QuoteName(column->name) + " " + SqliteType(column->col_type);
      insert += "?";
    }
    create += ")";
    insert += ")";

    Exec("DROP TABLE IF EXISTS " + QuoteName(name));
    Exec(create);
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db_, insert.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
      Fail("in statement: " + insert);
    }
    StatementPtr stmt(raw);

    MdbHandle* mdb = mdb_.get();
    MdbField fields[MDB_MAX_COLS];
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get()) != 0) {
      // mdb_fetch_row leaves the row's page in mdb->pg_buf and the row number, plus one, in
      // cur_row. Its bound-column interface cannot tell Null from an empty text and cuts
      // memos at 16 KB, so the row is cracked again here and each field read from the page.
      int row_start = 0;
      std::size_t row_size = 0;
      if (mdb_find_row(mdb, static_cast<int>(table->cur_row) - 1, &row_start, &row_size) != 0) {
        continue;
      }
      row_start &= kRowOffsetMask;
      if (mdb_crack_row(table.get(), row_start, row_size, fields) < 0) continue;

      sqlite3_reset(stmt.get());
      sqlite3_clear_bindings(stmt.get());
      for (guint i = 0; i < count; ++i) {
        const MdbField& field = fields[i];
        const int position = field.colnum;
        if (position < 0 || static_cast<guint>(position) >= count) continue;
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(columns, position));
        Bind(stmt.get(), position + 1, column,
             RawField{field.is_null != 0, field.start, field.siz});
      }
      if (sqlite3_step(stmt.get()) != SQLITE_DONE) Fail("copying the table " + name);
    }
  }

  static const char* SqliteType(int jet_type) {
    switch (jet_type) {
      case MDB_BOOL:
        return kBooleanType;
      case MDB_BYTE:
      case MDB_INT:
      case MDB_LONGINT:
      case MDB_COMPLEX:
        return "INTEGER";
      case MDB_MONEY:
      case MDB_FLOAT:
      case MDB_DOUBLE:
      case MDB_NUMERIC:
        return "REAL";
      case MDB_OLE:
      case MDB_BINARY:
        return "BLOB";
      default:  // texts, memos, dates, replication ids
        return "TEXT COLLATE NOCASE";
    }
  }

  // Binds one Jet field of the current row (on mdb->pg_buf) to parameter `index`.
  void Bind(sqlite3_stmt* stmt, int index, MdbColumn* column, const RawField& field) {
    MdbHandle* mdb = mdb_.get();
    void* page = mdb->pg_buf;
    // Jet keeps a Boolean in the row's null mask: the bit set is true. It is never Null.
    if (column->col_type == MDB_BOOL) {
      sqlite3_bind_int(stmt, index, field.is_null ? 0 : -1);
      return;
    }
    if (field.is_null) return;  // parameters are Null unless bound
    switch (column->col_type) {
      case MDB_BYTE:
        sqlite3_bind_int(stmt, index, mdb_get_byte(page, field.start));
        return;
      case MDB_INT:
        sqlite3_bind_int(stmt, index, static_cast<std::int16_t>(mdb_get_int16(page, field.start)));
        return;
      case MDB_LONGINT:
      case MDB_COMPLEX:
        sqlite3_bind_int64(stmt, index,
                           static_cast<std::int32_t>(mdb_get_int32(page, field.start)));
        return;
      case MDB_FLOAT: {
        // A Single holds about 7 significant digits; widening its binary value would show
        // digits nobody stored (1.1 as 1.10000002384186).
        char text[32];
        std::snprintf(text, sizeof text, "%.7g", mdb_get_single(page, field.start));
        sqlite3_bind_double(stmt, index, std::strtod(text, nullptr));
        return;
      }
      case MDB_DOUBLE:
        sqlite3_bind_double(stmt, index, mdb_get_double(page, field.start));
        return;
      case MDB_MONEY: {
        // Currency: a 64-bit integer count of ten-thousandths, little-endian.
        std::int64_t units = 0;
        std::memcpy(&units, mdb->pg_buf + field.start, sizeof units);
        sqlite3_bind_double(stmt, index, static_cast<double>(units) / 10000.0);
        return;
      }
      case MDB_NUMERIC: {
        std::unique_ptr<char, GFreer> text(
            mdb_numeric_to_string(mdb, field.start, column->col_scale, column->col_prec));
        sqlite3_bind_double(stmt, index, text ? std::strtod(text.get(), nullptr) : 0.0);
        return;
      }
      case MDB_DATETIME: {
        // Days since 1899-12-30, the time of day as the fraction.
        std::tm tm{};
        mdb_date_to_tm(mdb_get_double(page, field.start), &tm);
        char text[80];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
        return;
      }
      case MDB_TEXT: {
        const std::string text = Decode(mdb->pg_buf + field.start, field.size);
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return;
      }
      case MDB_MEMO: {
        const std::string raw = LongValue(field);
        const std::string text = Decode(reinterpret_cast<const unsigned char*>(raw.data()),
                                        static_cast<int>(raw.size()));
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return;
      }
      case MDB_OLE: {
        const std::string raw = LongValue(field);
        sqlite3_bind_blob(stmt, index, raw.data(), static_cast<int>(raw.size()), SQLITE_TRANSIENT);
        return;
      }
      case MDB_BINARY:
        sqlite3_bind_blob(stmt, index, mdb->pg_buf + field.start, field.size, SQLITE_TRANSIENT);
        return;
      case MDB_REPID: {
        std::unique_ptr<char, GFreer> text(mdb_uuid_to_string(page, field.start));
        if (text) sqlite3_bind_text(stmt, index, text.get(), -1, SQLITE_TRANSIENT);
        return;
      }
      default:
        return;  // a type this reader does not know stays Null
    }
  }

  // Jet 4 text (UTF-16, or its one-byte "compressed" form) as UTF-8.
  std::string Decode(const unsigned char* bytes, int size) {
    if (size <= 0) return std::string();
    // UTF-8 needs at most 3 bytes per UTF-16 unit, and at most 2 per compressed byte.
    std::vector<char> out(static_cast<std::size_t>(size) * 3 + 16);
    const int length = mdb_unicode2ascii(mdb_.get(), reinterpret_cast<const char*>(bytes),
                                         static_cast<std::size_t>(size), out.data(), out.size());
    const std::size_t used =
        length > 0 ? std::min<std::size_t>(static_cast<std::size_t>(length), out.size())
                   : std::strlen(out.data());
    return std::string(out.data(), used);
  }

  // The whole stored bytes of a memo or OLE field. Its 12-byte header on the row's page gives
  // the length and flags, and for data kept elsewhere the page and row where it starts
  // (page number << 8 | row); a chain of pages links each part to the next the same way in
  // the part's first four bytes.
  std::string LongValue(const RawField& field) {
    MdbHandle* mdb = mdb_.get();
    if (field.size < MDB_MEMO_OVERHEAD) return std::string();
    const unsigned char* header = mdb->pg_buf + field.start;
    const auto word = static_cast<std::uint32_t>(mdb_get_int32(mdb->pg_buf, field.start));
    const std::size_t length = word & kLongValueLengthMask;

    if ((word & kLongValueInline) != 0) {
      return std::string(reinterpret_cast<const char*>(header + MDB_MEMO_OVERHEAD),
                         static_cast<std::size_t>(field.size - MDB_MEMO_OVERHEAD));
    }
    std::int32_t page_row = static_cast<std::int32_t>(mdb_get_int32(mdb->pg_buf, field.start + 4));
    void* buffer = nullptr;
    int start = 0;
    std::size_t size = 0;
    if ((word & kLongValueSinglePage) != 0) {
      if (mdb_find_pg_row(mdb, page_row, &buffer, &start, &size) != 0) return std::string();
      return std::string(static_cast<const char*>(buffer) + start, std::min(size, length));
    }
    std::string out;
    out.reserve(length);
    // Each part begins with the next part's page and row; page 0 ends the chain. The length
    // bounds the walk, so a damaged chain that loops cannot run for ever.
    while ((page_row >> 8) != 0 && out.size() < length) {
      if (mdb_find_pg_row(mdb, page_row, &buffer, &start, &size) != 0 || size < 4) break;
      const auto* part = static_cast<const char*>(buffer) + start;
      out.append(part + 4, size - 4);
      page_row = static_cast<std::int32_t>(mdb_get_int32(buffer, start));
    }
    if (out.size() > length) out.resize(length);
    return out;
  }

  void Step(sqlite3_stmt* stmt, QueryResult& result, const std::string& context) {
    const int columns = sqlite3_column_count(stmt);
    const bool collect = columns > 0 && result.columns.empty();
    std::vector<bool> boolean(static_cast<std::size_t>(std::max(columns, 0)), false);
    if (collect) {
      for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        result.columns.emplace_back(name != nullptr ? name : "");
        const char* declared = sqlite3_column_decltype(stmt, i);
        boolean[i] = declared != nullptr && std::strcmp(declared, kBooleanType) == 0;
      }
    }
    for (;;) {
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_DONE) return;
      if (rc != SQLITE_ROW) Fail(context);
      if (!collect) continue;
      std::vector<Value> row;
      row.reserve(columns);
      for (int i = 0; i < columns; ++i) row.push_back(ColumnValue(stmt, i, boolean[i]));
      result.rows.push_back(std::move(row));
    }
  }

  static Value ColumnValue(sqlite3_stmt* stmt, int column, bool boolean) {
    switch (sqlite3_column_type(stmt, column)) {
      case SQLITE_INTEGER: {
        const std::int64_t number = sqlite3_column_int64(stmt, column);
        if (boolean) return Value(number != 0);
        return Value(number);
      }
      case SQLITE_FLOAT:
        return Value(sqlite3_column_double(stmt, column));
      case SQLITE_TEXT:
      case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(stmt, column));
        return Value(bytes != nullptr ? std::string(bytes, size) : std::string());
      }
      default:
        return Value();
    }
  }

  MdbPtr mdb_;
  sqlite3* db_;
  std::filesystem::path file_;
};

}  // namespace

std::unique_ptr<Connection> OpenJetFile(const std::filesystem::path& file,
                                        const std::string& /*password*/) {
  // The database password is accepted and not needed: it guards the file in Access, while
  // the pages themselves are at most scrambled with a key kept in the file's header, which
  // mdbtools undoes.
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the file does not exist");
  }
  if (!HasJetHeader(file)) {
    throw base::AgentError(base::kConnectionFailed,
                           "Cannot open database file " + file.string() +
                               ": it is neither an SQLite nor a Jet database");
  }
  MdbPtr mdb(mdb_open(file.string().c_str(), MDB_NOFLAGS));
  if (mdb == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the Jet database cannot be read");
  }
  if (mdb_read_catalog(mdb.get(), MDB_TABLE) == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the Jet catalog cannot be read");
  }

  sqlite3* db = nullptr;
  if (sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    sqlite3_close_v2(db);
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": no memory for its working copy");
  }
  sqlite3_extended_result_codes(db, 1);
  return std::make_unique<JetConnection>(std::move(mdb), db, file);
}

}  // namespace data
