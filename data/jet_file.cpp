// The Jet driver: a Jet database file (the settings file, the SIM gateway's outbox) read
// through mdbtools (jet_reader.h), in a child process.
//
// mdbtools has no SQL engine for the agent's statements. So each query copies the tables it
// names from the file into an in-memory SQLite database and runs there, rewritten into
// SQLite's dialect like every other SQLite statement. One SQL path for all SQLite work keeps
// "[Using]=true", max(), TOP and bracketed names behaving the same on a Jet file as on an
// SQLite file. The tables are copied afresh for every query, so a query sees what other
// programs wrote to the file since the last one; the files are small (a settings table, an
// outbox).
//
// mdbtools trusts the file it reads: a damaged file can make it crash, loop for ever or
// allocate without end. So the copying runs in a child process forked for each query, with
// its address space limited to what the agent has mapped plus kReaderMemoryBytes, no core
// dump, a processor-time limit and a deadline after which it is killed. The child hands the
// copied tables back as an SQLite database image (sqlite3_serialize) through a pipe, and the
// statement runs on that image here. Whatever happens to the child, the agent gets an error
// naming the file, for that file alone. The fork costs well under a millisecond for a
// process of the agent's size (bench/odbc_jet_bench.cpp); the settings file is read once at
// start and the outbox once per queued reply.
//
// Writes are refused: mdbtools cannot write these files.

#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/drivers.h"
#include "data/jet_reader.h"
#include "data/sql_dialect.h"

namespace data {
namespace {

// Limits of one reader child. Reading the agent's files takes milliseconds and a few
// megabytes; these bounds only stop a reader that has gone wrong.
constexpr std::size_t kReaderMemoryBytes = std::size_t{512} << 20;  // beyond the agent's own
constexpr rlim_t kReaderCpuSeconds = 5;
constexpr auto kReaderDeadline = std::chrono::seconds(10);       // wall clock
constexpr std::size_t kMaxAnswerBytes = std::size_t{256} << 20;  // the database image
constexpr std::size_t kMaxReaderMessageBytes = 300;              // of its stderr, for errors

// Bytes 4 to 18 of a Jet 3/4 file; ACE (Access 2007 and later) files say "Standard ACE DB".
constexpr char kJetSignature[] = "Standard Jet DB";
constexpr char kAceSignature[] = "Standard ACE DB";
constexpr std::size_t kSignatureOffset = 4;

// The child's answer starts with one of these bytes: the result follows, or the error's
// number (4 bytes, native order) and description.
constexpr char kAnswerOk = 'K';
constexpr char kAnswerError = 'E';

struct StatementDeleter {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementDeleter>;

struct DatabaseCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
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

DatabasePtr OpenMemoryDatabase() {
  sqlite3* db = nullptr;
  const int rc =
      sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  DatabasePtr owner(db);
  if (rc != SQLITE_OK) {
    throw base::AgentError(base::kDatabaseError, "No memory for a Jet file's working copy");
  }
  sqlite3_extended_result_codes(db, 1);
  return owner;
}

// The database image of `db`, as sqlite3_deserialize takes it back.
std::string Serialize(sqlite3* db) {
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(db, "main", &size, 0);
  if (image == nullptr) return std::string();  // a database without a page
  std::string out(reinterpret_cast<const char*>(image), static_cast<std::size_t>(size));
  sqlite3_free(image);
  return out;
}

// The address-space limit of a reader child: what this process has mapped now plus
// kReaderMemoryBytes (a sanitizer build maps terabytes of shadow memory it never touches, so
// no fixed figure fits). Read before forking, so the child does not pay for it.
rlim_t ReaderAddressSpaceLimit() {
  char text[64] = {};
  const int fd = open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return RLIM_INFINITY;
  const ssize_t n = read(fd, text, sizeof text - 1);
  close(fd);
  if (n <= 0) return RLIM_INFINITY;
  const unsigned long long pages = std::strtoull(text, nullptr, 10);  // first field: size
  return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) +
         kReaderMemoryBytes;
}

// In the child: its limits.
void LimitReaderChild(rlim_t address_space) {
  const rlimit no_core{0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  const rlimit cpu{kReaderCpuSeconds, kReaderCpuSeconds + 1};
  setrlimit(RLIMIT_CPU, &cpu);
  rlimit as{};
  getrlimit(RLIMIT_AS, &as);
  if (address_space != RLIM_INFINITY &&
      (as.rlim_max == RLIM_INFINITY || address_space < as.rlim_max)) {
    as.rlim_cur = as.rlim_max = address_space;
    setrlimit(RLIMIT_AS, &as);
  }
}

// mdbtools opens iconv converters on every file it opens. The first iconv_open of a process
// loads glibc's converter table from disk; done here once, every reader child inherits it
// instead of loading it again.
void LoadConverterTable() {
  static const bool loaded = [] {
    const iconv_t converter = iconv_open("UCS-2LE", "UTF-8");
    if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    return true;
  }();
  (void)loaded;
}

void WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

// In the child: runs `work` and writes its answer to `fd`. Never returns.
[[noreturn]] void AnswerFromChild(int fd, const std::function<std::string()>& work) {
  std::int32_t number = base::kDatabaseError;
  std::string text;
  char tag = kAnswerError;
  try {
    text = work();
    tag = kAnswerOk;
  } catch (const base::AgentError& e) {
    number = e.number();
    text = e.description();
  } catch (const std::exception& e) {  // std::bad_alloc under the memory limit among them
    text = e.what();
  }
  WriteAll(fd, &tag, 1);
  if (tag == kAnswerError) WriteAll(fd, reinterpret_cast<const char*>(&number), sizeof number);
  WriteAll(fd, text.data(), text.size());
  // _exit: the parent's atexit handlers and stdio buffers are not the child's to run.
  _exit(0);
}

// The descriptor on which a reader child writes its answer.
constexpr int kChildAnswerFd = 3;

// In the child, first of all: it ends with the agent, however the agent ends. A child left
// behind would hold the catalog, its -wal and -shm files and the outbox open for good, and a
// service manager stopping the agent would wait for it. So the kernel kills it when the agent
// dies (also when the agent died before this line: then its parent is another process); it
// keeps no descriptor of the agent's but its own pipes (stdin and stdout go to /dev/null,
// stderr to `message_fd`, the answer to kChildAnswerFd), and it takes signals as a new
// process does, not with the agent's blocked stop signals and ignored SIGPIPE.
void BecomeReaderChild(pid_t parent, int message_fd, int answer_fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
  // Out of the way of the standard descriptors, should the agent have run without them.
  message_fd = fcntl(message_fd, F_DUPFD, 10);
  answer_fd = fcntl(answer_fd, F_DUPFD, 10);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int signal = 1; signal < NSIG; ++signal) {
    if (signal != SIGKILL && signal != SIGSTOP) std::signal(signal, SIG_DFL);
  }
  const int null_fd = open("/dev/null", O_RDWR);
  if (null_fd >= 0) {
    dup2(null_fd, STDIN_FILENO);
    dup2(null_fd, STDOUT_FILENO);  // mdbtools' page dumps of damaged files are not the agent's
  }
  // mdbtools writes its complaints to stderr: they go to the parent, for the error text.
  dup2(message_fd, STDERR_FILENO);
  dup2(answer_fd, kChildAnswerFd);
  close_range(kChildAnswerFd + 1, ~0U, 0);
}

// Closes a file descriptor once.
struct Fd {
  int fd = -1;
  ~Fd() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

// Runs `work` in a child process under the reader limits and returns what it returned. An
// AgentError the child threw is thrown again here. A child that crashed, ran out of memory
// or time, or gave no whole answer throws AgentError `number` whose description starts
// with `what`.
std::string RunReaderChild(const std::function<std::string()>& work, int number,
                           const std::string& what) {
  int answer_pipe[2];
  int message_pipe[2];
  if (pipe2(answer_pipe, O_CLOEXEC) != 0) {
    throw base::AgentError(number,
                           what + ": no pipe for the reader (" + std::strerror(errno) + ")");
  }
  Fd answer_in{answer_pipe[0]}, answer_out{answer_pipe[1]};
  if (pipe2(message_pipe, O_CLOEXEC) != 0) {
    throw base::AgentError(number,
                           what + ": no pipe for the reader (" + std::strerror(errno) + ")");
  }
  Fd message_in{message_pipe[0]}, message_out{message_pipe[1]};

  LoadConverterTable();
  const rlim_t address_space = ReaderAddressSpaceLimit();
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    throw base::AgentError(number,
                           what + ": cannot start the reader (" + std::strerror(errno) + ")");
  }
  if (pid == 0) {
    BecomeReaderChild(parent, message_out.fd, answer_out.fd);
    LimitReaderChild(address_space);
    AnswerFromChild(kChildAnswerFd, work);
  }
  answer_out.Close();
  message_out.Close();

  std::string answer;
  std::string message;
  bool timed_out = false;
  bool too_long = false;
  const auto deadline = std::chrono::steady_clock::now() + kReaderDeadline;
  char buffer[65536];
  while (answer_in.fd >= 0 || message_in.fd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    pollfd fds[2] = {{answer_in.fd, POLLIN, 0}, {message_in.fd, POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      timed_out = ready == 0;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      Fd& source = i == 0 ? answer_in : message_in;
      const ssize_t n = read(source.fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        source.Close();
        continue;
      }
      if (i == 0) {
        answer.append(buffer, static_cast<std::size_t>(n));
      } else if (message.size() < kMaxReaderMessageBytes) {
        message.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n),
                                                     kMaxReaderMessageBytes - message.size()));
      }
    }
    if (answer.size() > kMaxAnswerBytes) {
      too_long = true;
      break;
    }
  }
  if (timed_out || too_long) kill(pid, SIGKILL);
  answer_in.Close();
  message_in.Close();
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }

  std::string failure;
  if (timed_out) {
    failure = "the reader did not finish within " +
              std::to_string(std::chrono::seconds(kReaderDeadline).count()) + " s";
  } else if (too_long) {
    failure =
        "the reader's answer is larger than " + std::to_string(kMaxAnswerBytes >> 20) + " MiB";
  } else if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    if (signal == SIGXCPU) {
      failure =
          "the reader used more than " + std::to_string(kReaderCpuSeconds) + " s of processor time";
    } else {
      failure =
          "the reader crashed (signal " + std::to_string(signal) + ", " + strsignal(signal) + ")";
    }
  } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    failure = "the reader failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")";
  } else if (answer.empty() ||
             (answer[0] == kAnswerError && answer.size() < 1 + sizeof(std::int32_t))) {
    failure = "the reader gave no answer";
  }
  if (!failure.empty()) {
    // The first line the reader wrote says most, when it wrote one.
    const std::size_t start = message.find_first_not_of("\r\n");
    if (start != std::string::npos) {
      const std::size_t end = message.find_first_of("\r\n", start);
      failure +=
          "; it wrote: " + message.substr(start, end == std::string::npos ? end : end - start);
    }
    throw base::AgentError(number, what + ": " + failure);
  }
  if (answer[0] == kAnswerError) {
    std::int32_t child_number = 0;
    std::memcpy(&child_number, answer.data() + 1, sizeof child_number);
    throw base::AgentError(child_number, answer.substr(1 + sizeof child_number));
  }
  answer.erase(0, 1);
  return answer;
}

class JetConnection : public Connection {
 public:
  JetConnection(DatabasePtr db, std::filesystem::path file)
      : db_(std::move(db)), file_(std::move(file)) {}

  std::int64_t Execute(const std::string& sql) override { RefuseWrite(sql); }

  QueryResult Query(const std::string& sql) override {
    Load(ReadTables(Lower(sql)));

    const std::string rewritten = RewriteForSqlite(sql);
    std::string context = "in statement: " + sql;
    if (rewritten != sql) context += " (run as: " + rewritten + ")";

    QueryResult result;
    const char* tail = rewritten.c_str();
    const char* const end = tail + rewritten.size();
    while (tail < end) {
      sqlite3_stmt* raw = nullptr;
      const char* next = nullptr;
      const int rc = sqlite3_prepare_v2(db_.get(), tail, static_cast<int>(end - tail), &raw, &next);
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
    const int code = sqlite3_extended_errcode(db_.get());
    throw base::AgentError(base::kDatabaseError, "SQLite error " + std::to_string(code) + " (" +
                                                     sqlite3_errstr(code) +
                                                     "): " + sqlite3_errmsg(db_.get()) + " " +
                                                     context + " [" + Describe() + "]");
  }

  // The image of the tables the statement mentions, copied by a reader child.
  std::string ReadTables(const std::string& lowered_sql) {
    return RunReaderChild(
        [&] {
          JetReader reader(file_);
          DatabasePtr copy = OpenMemoryDatabase();
          for (const std::string& table : reader.TableNames()) {
            if (Mentions(lowered_sql, Lower(table))) reader.CopyTable(table, copy.get());
          }
          return Serialize(copy.get());
        },
        base::kDatabaseError, "Cannot read the Jet database file " + file_.string());
  }

  // Replaces the working database with `image`.
  void Load(const std::string& image) {
    // sqlite3_deserialize takes a buffer of its own allocator and frees it, also on failure.
    auto* buffer =
        static_cast<unsigned char*>(sqlite3_malloc64(std::max<std::size_t>(image.size(), 1)));
    if (buffer == nullptr) {
      throw base::AgentError(base::kDatabaseError,
                             "No memory for the working copy [" + Describe() + "]");
    }
    std::memcpy(buffer, image.data(), image.size());
    const auto size = static_cast<sqlite3_int64>(image.size());
    if (sqlite3_deserialize(db_.get(), "main", buffer, size, size,
                            SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
        SQLITE_OK) {
      Fail("loading the tables the reader copied");
    }
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
        boolean[i] = declared != nullptr && std::strcmp(declared, kJetBooleanType) == 0;
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

  DatabasePtr db_;
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
  // The file and its catalog must be readable now, as a provider checks at opening.
  RunReaderChild(
      [&] {
        JetReader reader(file);
        return std::string();
      },
      base::kConnectionFailed, "Cannot open database file " + file.string());
  return std::make_unique<JetConnection>(OpenMemoryDatabase(), file);
}

}  // namespace data
