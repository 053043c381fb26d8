// The Jet reader: tables of a Jet file copied into SQLite through mdbtools' library.
//
// mdbtools trusts the file: its offsets, lengths and page numbers are used as they are. So
// everything this reader takes from a page is checked against the page first (field
// offsets and sizes, fixed-width values, long-value parts), memo and OLE lengths are capped,
// and the page chain of a long value is walked with every link remembered, so that a chain
// that comes back to an earlier part ends with an error instead of running for ever.

#include "data/jet_reader.h"

#include <glib.h>
#include <mdbtools.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/agent_error.h"
#include "base/utf8.h"

namespace data {
namespace {

// Jet row positions on a page carry two flags above the 13-bit offset.
constexpr int kRowOffsetMask = 0x1FFF;

// Flags of a memo or OLE field's 12-byte header (the first 32-bit word): data stored in the
// row itself, or in a single row of another page; neither set: a chain of pages.
constexpr std::uint32_t kLongValueInline = 0x80000000u;
constexpr std::uint32_t kLongValueSinglePage = 0x40000000u;
constexpr std::uint32_t kLongValueLengthMask = 0x3FFFFFFFu;

// Bytes of the fixed-width Jet values read from a page.
constexpr int kNumericBytes = 17;  // sign, then four 32-bit words
constexpr int kGuidBytes = 16;

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

const char* SqliteType(int jet_type) {
  switch (jet_type) {
    case MDB_BOOL:
      return kJetBooleanType;
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

// One field of the current row as mdb_crack_row located it on mdb->pg_buf.
struct RawField {
  bool is_null;
  int start;  // byte offset in the page
  int size;   // bytes
};

}  // namespace

std::string JetTextToUtf8(const unsigned char* bytes, std::size_t size, bool jet3) {
  if (jet3) {
    return base::Windows1252ToUtf8(std::string_view(reinterpret_cast<const char*>(bytes), size));
  }
  std::u16string units;
  units.reserve(size);
  std::size_t i = 0;
  if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    bool compressed = true;
    for (i = 2; i < size;) {
      if (bytes[i] == 0) {  // switches between the one-byte and the two-byte runs
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units += static_cast<char16_t>(bytes[i]);
        ++i;
      } else if (i + 1 < size) {
        units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        i += 2;
      } else {
        break;  // half a unit at the end
      }
    }
  } else {
    for (; i + 1 < size; i += 2) units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
  }
  return base::Utf16ToUtf8(units);
}

struct JetReader::State {
  MdbPtr mdb;
  std::filesystem::path file;

  [[noreturn]] void Fail(const std::string& what) const {
    throw base::AgentError(base::kDatabaseError,
                           what + " [Jet database file " + file.string() + "]");
  }

  [[noreturn]] void FailSqlite(sqlite3* db, const std::string& context) const {
    const int code = sqlite3_extended_errcode(db);
    Fail("SQLite error " + std::to_string(code) + " (" + sqlite3_errstr(code) +
         "): " + sqlite3_errmsg(db) + " " + context);
  }

  void Exec(sqlite3* db, const std::string& sql) const {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
      FailSqlite(db, "in statement: " + sql);
    }
  }

  bool jet3() const { return mdb->f->jet_version == MDB_VER_JET3; }
  int page_size() const { return static_cast<int>(mdb->fmt->pg_size); }

  // Whether `size` bytes from `start` lie on a page.
  bool OnPage(std::int64_t start, std::int64_t size) const {
    return start >= 0 && size >= 0 && start + size <= page_size();
  }

  void CheckOnPage(const std::string& table, const RawField& field, int width) const {
    if (!OnPage(field.start, width)) {
      Fail("Cannot read the table " + table + ": a value lies outside its page");
    }
  }

  // The whole stored bytes of a memo or OLE field. Its 12-byte header on the row's page gives
  // the length and flags, and for data kept elsewhere the page and row where it starts
  // (page number << 8 | row); a chain of pages links each part to the next the same way in
  // the part's first four bytes.
  std::string LongValue(const std::string& table, const RawField& field) const {
    MdbHandle* m = mdb.get();
    if (field.size < MDB_MEMO_OVERHEAD) return std::string();
    const unsigned char* header = m->pg_buf + field.start;
    const auto word = static_cast<std::uint32_t>(mdb_get_int32(m->pg_buf, field.start));
    const std::size_t length = word & kLongValueLengthMask;
    if (length > kJetMaxLongValueBytes) {
      Fail("Cannot read the table " + table + ": a memo or OLE value claims " +
           std::to_string(length) + " bytes, more than the " +
           std::to_string(kJetMaxLongValueBytes) + " this reader takes");
    }
    if ((word & kLongValueInline) != 0) {
      return std::string(reinterpret_cast<const char*>(header + MDB_MEMO_OVERHEAD),
                         static_cast<std::size_t>(field.size - MDB_MEMO_OVERHEAD));
    }
    std::int32_t page_row = static_cast<std::int32_t>(mdb_get_int32(m->pg_buf, field.start + 4));
    void* buffer = nullptr;
    int start = 0;
    std::size_t size = 0;
    // mdb_find_pg_row reads the part's page into alt_pg_buf and reports where the row lies.
    const auto found = [&](std::int32_t at) {
      return mdb_find_pg_row(m, at, &buffer, &start, &size) == 0 &&
             OnPage(start, static_cast<std::int64_t>(size));
    };
    if ((word & kLongValueSinglePage) != 0) {
      if (!found(page_row)) return std::string();
      return std::string(static_cast<const char*>(buffer) + start, std::min(size, length));
    }
    std::string out;
    std::set<std::int32_t> visited;
    // Each part begins with the next part's page and row; page 0 ends the chain.
    while ((page_row >> 8) != 0 && out.size() < length) {
      if (!visited.insert(page_row).second) {
        Fail("Cannot read the table " + table + ": the pages of a memo or OLE value loop");
      }
      if (!found(page_row) || size < 4) break;
      const auto* part = static_cast<const char*>(buffer) + start;
      out.append(part + 4, std::min(size - 4, length - out.size()));
      page_row = static_cast<std::int32_t>(mdb_get_int32(buffer, start));
    }
    return out;
  }

  // Binds one Jet field of the current row (on mdb->pg_buf) to parameter `index`.
  void Bind(const std::string& table, sqlite3_stmt* stmt, int index, const MdbColumn* column,
            const RawField& field) const {
    MdbHandle* m = mdb.get();
    void* page = m->pg_buf;
    // Jet keeps a Boolean in the row's null mask: the bit set is true. It is never Null.
    if (column->col_type == MDB_BOOL) {
      sqlite3_bind_int(stmt, index, field.is_null ? 0 : -1);
      return;
    }
    if (field.is_null) return;  // parameters are Null unless bound
    CheckOnPage(table, field, field.size);
    switch (column->col_type) {
      case MDB_BYTE:
        CheckOnPage(table, field, 1);
        sqlite3_bind_int(stmt, index, mdb_get_byte(page, field.start));
        return;
      case MDB_INT:
        CheckOnPage(table, field, 2);
        sqlite3_bind_int(stmt, index, static_cast<std::int16_t>(mdb_get_int16(page, field.start)));
        return;
      case MDB_LONGINT:
      case MDB_COMPLEX:
        CheckOnPage(table, field, 4);
        sqlite3_bind_int64(stmt, index,
                           static_cast<std::int32_t>(mdb_get_int32(page, field.start)));
        return;
      case MDB_FLOAT: {
        CheckOnPage(table, field, 4);
        // A Single holds about 7 significant digits; widening its binary value would show
        // digits nobody stored (1.1 as 1.10000002384186).
        char text[64];
        std::snprintf(text, sizeof text, "%.7g", mdb_get_single(page, field.start));
        sqlite3_bind_double(stmt, index, std::strtod(text, nullptr));
        return;
      }
      case MDB_DOUBLE:
        CheckOnPage(table, field, 8);
        sqlite3_bind_double(stmt, index, mdb_get_double(page, field.start));
        return;
      case MDB_MONEY: {
        CheckOnPage(table, field, 8);
        // Currency: a 64-bit integer count of ten-thousandths, little-endian.
        std::int64_t units = 0;
        std::memcpy(&units, m->pg_buf + field.start, sizeof units);
        sqlite3_bind_double(stmt, index, static_cast<double>(units) / 10000.0);
        return;
      }
      case MDB_NUMERIC: {
        CheckOnPage(table, field, kNumericBytes);
        std::unique_ptr<char, GFreer> text(
            mdb_numeric_to_string(m, field.start, column->col_scale, column->col_prec));
        sqlite3_bind_double(stmt, index, text ? std::strtod(text.get(), nullptr) : 0.0);
        return;
      }
      case MDB_DATETIME: {
        CheckOnPage(table, field, 8);
        // Days since 1899-12-30, the time of day as the fraction.
        std::tm tm{};
        mdb_date_to_tm(mdb_get_double(page, field.start), &tm);
        char text[96];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                      tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT);
        return;
      }
      case MDB_TEXT: {
        const std::string text =
            JetTextToUtf8(m->pg_buf + field.start, static_cast<std::size_t>(field.size), jet3());
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return;
      }
      case MDB_MEMO: {
        const std::string raw = LongValue(table, field);
        const std::string text =
            JetTextToUtf8(reinterpret_cast<const unsigned char*>(raw.data()), raw.size(), jet3());
        sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return;
      }
      case MDB_OLE: {
        const std::string raw = LongValue(table, field);
        sqlite3_bind_blob(stmt, index, raw.data(), static_cast<int>(raw.size()), SQLITE_TRANSIENT);
        return;
      }
      case MDB_BINARY:
        sqlite3_bind_blob(stmt, index, m->pg_buf + field.start, field.size, SQLITE_TRANSIENT);
        return;
      case MDB_REPID: {
        CheckOnPage(table, field, kGuidBytes);
        std::unique_ptr<char, GFreer> text(mdb_uuid_to_string(page, field.start));
        if (text) sqlite3_bind_text(stmt, index, text.get(), -1, SQLITE_TRANSIENT);
        return;
      }
      default:
        return;  // a type this reader does not know stays Null
    }
  }
};

JetReader::JetReader(const std::filesystem::path& file) : state_(std::make_unique<State>()) {
  state_->file = file;
  state_->mdb.reset(mdb_open(file.string().c_str(), MDB_NOFLAGS));
  if (state_->mdb == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the Jet database cannot be read");
  }
  if (mdb_read_catalog(state_->mdb.get(), MDB_TABLE) == nullptr) {
    throw base::AgentError(base::kConnectionFailed, "Cannot open database file " + file.string() +
                                                        ": the Jet catalog cannot be read");
  }
}

JetReader::~JetReader() = default;

std::vector<std::string> JetReader::TableNames() {
  std::vector<std::string> names;
  GPtrArray* catalog = mdb_read_catalog(state_->mdb.get(), MDB_TABLE);
  if (catalog == nullptr) return names;
  for (guint i = 0; i < catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
    if (mdb_is_user_table(entry)) names.emplace_back(entry->object_name);
  }
  return names;
}

void JetReader::CopyTable(const std::string& name, sqlite3* db) {
  const State& s = *state_;
  MdbHandle* mdb = s.mdb.get();
  MdbCatalogEntry* entry = mdb_get_catalogentry_by_name(mdb, name.c_str());
  if (entry == nullptr) return;
  TablePtr table(mdb_read_table(entry));
  if (table == nullptr || mdb_read_columns(table.get()) == nullptr) {
    s.Fail("Cannot read the table " + name);
  }
  const GPtrArray* columns = table->columns;
  const guint count = columns->len;
  if (count == 0 || count > kJetMaxColumns || table->num_cols != count) {
    s.Fail("Cannot read the table " + name + ": its definition gives " +
           std::to_string(table->num_cols) + " columns");
  }

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

  s.Exec(db, "DROP TABLE IF EXISTS " + QuoteName(name));
  s.Exec(db, create);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, insert.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
    s.FailSqlite(db, "in statement: " + insert);
  }
  StatementPtr stmt(raw);

  // mdb_crack_row fills one field per column of the table definition.
  std::vector<MdbField> fields(count);
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
    if (!s.OnPage(row_start, static_cast<std::int64_t>(row_size))) continue;
    if (mdb_crack_row(table.get(), row_start, row_size, fields.data()) < 0) continue;

    sqlite3_reset(stmt.get());
    sqlite3_clear_bindings(stmt.get());
    for (guint i = 0; i < count; ++i) {
      const MdbField& field = fields[i];
      const int position = field.colnum;
      if (position < 0 || static_cast<guint>(position) >= count) continue;
      const auto* column = static_cast<MdbColumn*>(g_ptr_array_index(columns, position));
      s.Bind(name, stmt.get(), position + 1, column,
             RawField{field.is_null != 0, field.start, field.siz});
    }
    if (sqlite3_step(stmt.get()) != SQLITE_DONE) s.FailSqlite(db, "copying the table " + name);
  }
}

}  // namespace data
