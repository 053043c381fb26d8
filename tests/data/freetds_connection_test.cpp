// SQL Server connections through unixODBC and FreeTDS, against a listener on the loopback
// address that stands in for a server: it records which port was contacted and the TDS
// packets that arrived, and answers FreeTDS's first packet (PRELOGIN) as a server without
// encryption does.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/connection_string.h"
#include "tests/support/agent_error_of.h"
#include "tests/support/test_catalog.h"

namespace {

using test_support::ErrorOf;

constexpr int kPrelogin = 0x12;  // TDS packet types
constexpr int kLogin7 = 0x10;

// Reads `size` bytes, waiting at most 5 s for each part; false on end of stream or timeout.
bool ReadFully(int fd, unsigned char* out, std::size_t size) {
  while (size > 0) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    const ssize_t n = read(fd, out, size);
    if (n <= 0) return false;
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A TCP listener on 127.0.0.1 at a free port, serving one connection at a time.
class FakeSqlServer {
 public:
  struct Packet {
    int type;
    std::string payload;
  };

  FakeSqlServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 4) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      ADD_FAILURE() << "cannot listen on the loopback address";
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }

  ~FakeSqlServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }

  int port() const { return port_; }

  // The packets of each connection so far, in order.
  std::vector<std::vector<Packet>> Sessions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sessions_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) <= 0) continue;
      const int client = accept(fd_, nullptr, nullptr);
      if (client < 0) continue;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        sessions_.emplace_back();
      }
      // Two packets at most: PRELOGIN, answered, then whatever the client sends next.
      for (int k = 0; k < 2; ++k) {
        unsigned char header[8];
        if (!ReadFully(client, header, sizeof header)) break;
        const std::size_t size = (static_cast<std::size_t>(header[2]) << 8) | header[3];
        std::string payload(size > 8 ? size - 8 : 0, '\0');
        if (!ReadFully(client, reinterpret_cast<unsigned char*>(payload.data()), payload.size())) {
          break;
        }
        {
          std::lock_guard<std::mutex> lock(mutex_);
          sessions_.back().push_back({header[0], payload});
        }
        if (header[0] != kPrelogin) break;
        // A reply (type 4) with VERSION and ENCRYPTION = 2: the server cannot encrypt.
        const unsigned char reply[] = {0x04, 0x01, 0x00, 26,   0x00, 0x00, 0x01, 0x00, 0x00,
                                       0x00, 11,   0x00, 6,    0x01, 0x00, 17,   0x00, 1,
                                       0xFF, 0x0F, 0x00, 0x07, 0xD0, 0x00, 0x00, 0x02};
        if (write(client, reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) break;
      }
      close(client);
    }
  }

  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<std::vector<Packet>> sessions_;
  std::thread thread_;
};

// Sets an environment variable for the test's duration.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string SqlServerString(const std::string& server, const std::string& catalog,
                            const std::string& user, const std::string& password,
                            const data::SqlServerTls& tls = {}) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" + data::QuotedValue(user) +
         ";pwd=" + data::QuotedValue(password) + ";Initial Catalog=" + data::QuotedValue(catalog) +
         ";Data Source=" + data::QuotedValue(server) + data::SqlServerTlsKeys(tls);
}

// A value holding "}" never reaches FreeTDS, which would end it there and read the rest as
// keys of its own (another port, encryption off); other values reach the server named.
TEST(FreeTdsConnection, ValuesCannotRedirectTheConnection) {
  FakeSqlServer server;  // the port the settings name
  FakeSqlServer other;   // the port a value tries to set
  const std::string to_other = std::to_string(other.port());
  const struct {
    std::string user, password, catalog;
    const char* refused_key;  // nullptr: connects to `server`
  } kCases[] = {
      {"sa", "a};Port={" + to_other, "MavData", "PWD"},
      {"sa", "a};Encryption={off", "MavData", "PWD"},
      {"sa", "a};Servername={x", "MavData", "PWD"},
      {"x};Port={" + to_other, "pw", "MavData", "UID"},
      {"sa", "pw", "M};Port={" + to_other, "Database"},
      {"sa", "a;Port=" + to_other + ";{x", "MavData", nullptr},
  };
  std::size_t sessions = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.password + " / " + c.user + " / " + c.catalog);
    const base::AgentError error = ErrorOf([&] {
      data::OpenConnection(SqlServerString("127.0.0.1," + std::to_string(server.port()), c.catalog,
                                           c.user, c.password));
    });
    EXPECT_EQ(base::kConnectionFailed, error.number());
    if (c.refused_key != nullptr) {
      EXPECT_NE(std::string::npos,
                error.description().find(std::string("value of ") + c.refused_key + " "))
          << error.description();
    } else {
      ++sessions;  // the login failed at the stand-in server
    }
    EXPECT_EQ(sessions, server.Sessions().size());
    EXPECT_EQ(0u, other.Sessions().size());
  }
}

// By default FreeTDS sends the login unencrypted to a server that offers no encryption (the
// login name readable, the password only scrambled); asked for a checked certificate, it
// stops before the login. Without a CA file in its configuration the agent does not ask.
TEST(FreeTdsConnection, CheckedCertificateStopsBeforeAnUnencryptedLogin) {
  test_support::TempDir dir;
  FakeSqlServer server;
  const std::string address = "127.0.0.1," + std::to_string(server.port());
  const data::SqlServerTls verify{true, ""};

  const base::AgentError plain = ErrorOf(
      [&] { data::OpenConnection(SqlServerString(address, "MavData", "mav_login", "pw")); });
  EXPECT_EQ(base::kConnectionFailed, plain.number());
  ASSERT_EQ(1u, server.Sessions().size());
  const auto session = server.Sessions()[0];
  ASSERT_EQ(2u, session.size());
  EXPECT_EQ(kPrelogin, session[0].type);
  EXPECT_EQ(kLogin7, session[1].type);
  const std::string login_name("m\0a\0v\0_\0l\0o\0g\0i\0n\0", 18);  // UTF-16LE
  EXPECT_NE(std::string::npos, session[1].payload.find(login_name));

  {
    std::ofstream(dir.path() / "no-ca.conf") << "[global]\n\ttds version = auto\n";
    ScopedEnv conf("FREETDSCONF", (dir.path() / "no-ca.conf").string());
    const base::AgentError refused = ErrorOf([&] {
      data::OpenConnection(SqlServerString(address, "MavData", "mav_login", "pw", verify));
    });
    EXPECT_EQ(base::kConnectionFailed, refused.number());
    EXPECT_NE(std::string::npos, refused.description().find("\"ca file\""))
        << refused.description();
    EXPECT_EQ(1u, server.Sessions().size());
  }
  {
    std::ofstream(dir.path() / "ca.conf")
        << "[global]\n\tca file = " << (dir.path() / "ca.pem").string() << "\n";
    ScopedEnv conf("FREETDSCONF", (dir.path() / "ca.conf").string());
    const base::AgentError checked = ErrorOf([&] {
      data::OpenConnection(SqlServerString(address, "MavData", "mav_login", "pw", verify));
    });
    EXPECT_EQ(base::kConnectionFailed, checked.number());
    EXPECT_NE(std::string::npos, checked.description().find("Encryption=require"))
        << checked.description();
    ASSERT_EQ(2u, server.Sessions().size());
    ASSERT_EQ(1u, server.Sessions()[1].size());
    EXPECT_EQ(kPrelogin, server.Sessions()[1][0].type);
  }
}

}  // namespace
