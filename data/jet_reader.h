#ifndef MAV_DATA_JET_READER_H_
#define MAV_DATA_JET_READER_H_

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace data {

// Reads Jet 3/4 database files with mdbtools, in this process. The Jet driver runs it in a
// child process (jet_file.cpp), since mdbtools itself can crash, loop or allocate without
// end on a damaged file; what this reader does itself is bounded by the limits below.

// Declared type of Jet Boolean columns in the SQLite copy: reads of such a column give
// Boolean values back.
inline constexpr const char* kJetBooleanType = "BOOLEAN";

// Jet allows 255 columns per table; a table definition claiming more is damaged.
inline constexpr unsigned kJetMaxColumns = 255;

// The longest memo or OLE value read, in bytes. The agent's files (settings, outbox) hold
// short texts; a longer length field is taken as damage.
inline constexpr std::size_t kJetMaxLongValueBytes = std::size_t{16} << 20;

class JetReader {
 public:
  // Opens `file`. Throws AgentError kConnectionFailed naming the file when it or its
  // catalog cannot be read.
  explicit JetReader(const std::filesystem::path& file);
  ~JetReader();
  JetReader(const JetReader&) = delete;
  JetReader& operator=(const JetReader&) = delete;

  // The user tables of the file (system tables MSys* excluded), in catalog order.
  std::vector<std::string> TableNames();

  // Replaces table `name` of `db` with the rows the Jet table `name` holds now. Values
  // become SQLite values: integers, floating and currency values as doubles, texts as
  // UTF-8, date and time as "yyyy-mm-dd hh:mm:ss", OLE and binary data as blobs, Booleans
  // as -1 and 0 in a column of type kJetBooleanType. Throws AgentError kDatabaseError naming
  // table and file when the table cannot be read or breaks a limit of this reader.
  void CopyTable(const std::string& name, sqlite3* db);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Jet text bytes as UTF-8: Jet 4 keeps UTF-16LE, or its "compressed" form (FF FE, then runs
// of one byte per character switched with runs of UTF-16 by each 00 byte); Jet 3 keeps
// Windows-1252 bytes.
std::string JetTextToUtf8(const unsigned char* bytes, std::size_t size, bool jet3);

}  // namespace data

#endif  // MAV_DATA_JET_READER_H_
