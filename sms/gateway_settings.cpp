// The gateway settings: which SMS gateway the cooperative uses and the opening of its
// database, refreshed from the first row of SMSDatabase on every online tick.

#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include "base/agent_error.h"
#include "data/connection.h"
#include "data/connection_string.h"
#include "data/record_set.h"
#include "data/value.h"
#include "sms/gammu_outbox.h"
#include "sms/outbox_memory.h"
#include "sms/sms_service.h"

namespace sms {

namespace {

constexpr const char* kDefaultBirthdayMessage = "HAPPY BIRTHDAY TO YOU AND WISH TO ALL THE BEST.";

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && Upper(a) == Upper(b);
}

// A column read without a default: Null fails the call.
std::string RequiredText(const data::RecordSet& rs, const char* column) {
  const data::Value& value = rs.Field(column);
  if (value.IsNull()) {
    throw base::AgentError(base::kInvalidUseOfNull,
                           std::string("SMSDatabase.") + column + " is Null");
  }
  return value.AsText();
}

std::string TextOr(const data::RecordSet& rs, const char* column, const char* fallback) {
  return rs.Field(column).Text().value_or(fallback);
}

// The file found at `path` as the platform that stores these settings finds it: file names
// match without regard to letter case, and the name reported is the one stored in the
// folder. An exact match wins over a match in other letters. Directories are not files.
std::optional<std::filesystem::path> FindFile(const std::string& path) {
  if (path.empty()) return std::nullopt;
  const std::filesystem::path wanted(path);
  const std::string name = wanted.filename().string();
  if (name.empty()) return std::nullopt;
  std::filesystem::path folder = wanted.parent_path();
  if (folder.empty()) folder = ".";

  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  std::optional<std::filesystem::path> other_case;
  for (const auto& entry : it) {
    std::error_code type_ec;
    if (!entry.is_regular_file(type_ec)) continue;
    const std::string stored = entry.path().filename().string();
    if (stored == name) return entry.path();
    if (!other_case && EqualIgnoringCase(stored, name)) other_case = entry.path();
  }
  return other_case;
}

// Where the outbox that SMSDatabase.Database names is looked for. The Windows installation
// stores a Windows path ("C:\SMS\SMSData.mdb"); on a platform whose paths are not Windows
// paths, that file is looked up by its name in the program folder, as the print database is.
std::string OutboxPath(const std::string& stored, const std::filesystem::path& program_folder) {
  if constexpr (std::filesystem::path::preferred_separator == '\\') return stored;
  const bool drive =
      stored.size() >= 2 && stored[1] == ':' &&
      ((stored[0] >= 'A' && stored[0] <= 'Z') || (stored[0] >= 'a' && stored[0] <= 'z'));
  if (!drive && stored.find('\\') == std::string::npos) return stored;
  return (program_folder / stored.substr(stored.find_last_of("\\:") + 1)).string();
}

void ReadGreetingSettings(const data::RecordSet& rs, SmsState& sms) {
  const data::Value& b_sms = rs.Field("bSMS");
  sms.bSMS = b_sms.IsNull() ? 0 : b_sms.AsInt32();
  sms.SMSBirthdayMessage = TextOr(rs, "Msg", kDefaultBirthdayMessage);
  sms.SMSRate = rs.Field("SMSRs").Double().value_or(0.0);
}

std::chrono::steady_clock::time_point Clock(const SmsContext& context) {
  return context.clock ? context.clock() : std::chrono::steady_clock::now();
}

// Writes `line` to the log when it differs from what was last written for this database
// (`down`: "" while it works); nothing while the same outage goes on.
void NoteDown(const SmsContext& context, std::string& down, const std::string& line) {
  if (down == line) return;
  if (context.notice) context.notice(line);
  down = line;
}

void NoteBack(const SmsContext& context, std::string& down, const std::string& line) {
  if (down.empty()) return;
  if (context.notice) context.notice(line);
  down.clear();
}

void ReadSimGateway(const data::RecordSet& rs, SmsContext& context) {
  SmsState& sms = *context.sms;
  sms.SMSDatabaseName = RequiredText(rs, "Database");
  sms.SMSPassword = RequiredText(rs, "Password");
  ReadGreetingSettings(rs, sms);

  const std::string path = OutboxPath(sms.SMSDatabaseName, context.program_folder);
  const std::optional<std::filesystem::path> found = FindFile(path);
  if (!found || found->filename().string() != kSimOutboxFileName) {
    // An open connection would go on writing into a file that was deleted: messages nobody
    // sends, for requests marked as answered.
    sms.SMSConnection.reset();
    sms.SMSLocalReady = false;
    std::string where = path;
    if (path != sms.SMSDatabaseName) where += " (stored as " + sms.SMSDatabaseName + ")";
    NoteDown(context, sms.outbox_down,
             "SMS outbox missing: " + where + " (SIM replies wait until it is back)");
    return;
  }

  // The file is opened where it was found: the same file the stored path names, spelled
  // as the folder spells it. It stays open while the settings name it and it is not replaced.
  const std::string opened_as = found->string() + "\n" + sms.SMSPassword;
  if (sms.SMSConnection) {
    if (sms.outbox_opened_as == opened_as && !sms.SMSConnection->Replaced()) {
      sms.SMSLocalReady = true;
      return;
    }
    if (sms.outbox_opened_as == opened_as && context.notice) {
      context.notice("SMS outbox replaced: " + found->string() + " (opened again)");
    }
    sms.SMSConnection.reset();
  }
  const auto now = Clock(context);
  if (!sms.outbox_retry.Ready(now)) return;  // SMSLocalReady stays down until it opens
  try {
    sms.SMSConnection = data::OpenConnection(
        "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + data::QuotedValue(found->string()) +
        ";Persist Security Info=false;Jet OLEDB:Database Password=" +
        data::QuotedValue(sms.SMSPassword));
    // gammu-smsd's database is served through its outbox tables instead of a Send table.
    sms.gammu_version = GammuTablesVersion(*sms.SMSConnection);
    // An outbox that cannot remember what it was given cannot be written exactly once.
    sms.outbox_id = PrepareOutboxMemory(*sms.SMSConnection);
  } catch (const base::AgentError& e) {
    sms.SMSConnection.reset();
    sms.outbox_retry.Failed(now);
    NoteDown(context, sms.outbox_down, "SMS outbox cannot be opened: " + e.Report());
    throw;
  }
  sms.outbox_retry.Succeeded();
  sms.outbox_opened_as = opened_as;
  sms.SMSLocalReady = true;
  NoteBack(context, sms.outbox_down, "SMS outbox open again: " + found->string());
}

void ReadInternetGateway(const data::RecordSet& rs, SmsContext& context) {
  SmsState& sms = *context.sms;
  const std::string server = TextOr(rs, "Server", ".");
  const std::string catalog = TextOr(rs, "Database", "...");
  sms.SMSPassword = TextOr(rs, "Password", "...");
  sms.SMSDbUser = TextOr(rs, "DbUser", "sa");
  ReadGreetingSettings(rs, sms);
  sms.SMSGatewayType = TextOr(rs, "dType", "SIM");

  // The connection is kept while it works: closing it after each lookup would mean a login
  // to a remote server on every tick. The lookup is made again when the settings changed, or
  // when the last one is kServiceLookupInterval old.
  const std::string connection_string =
      "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" +
      data::QuotedValue(sms.SMSDbUser) + ";pwd=" + data::QuotedValue(sms.SMSPassword) +
      ";Initial Catalog=" + data::QuotedValue(catalog) +
      ";Data Source=" + data::QuotedValue(server) + data::SqlServerTlsKeys(sms.service_tls);
  const std::string lookup =
      "Select * from DATABASE_SETTING Where DATABASE_NAME=" + data::SqlText(context.DbName) +
      " and Customer_ID=" + std::to_string(sms.SMSCustomerID);
  const auto now = Clock(context);
  if (sms.service_connection && sms.service_opened_as != connection_string) {
    sms.service_connection.reset();
  }
  if (sms.service_connection && sms.service_lookup == lookup &&
      now - sms.service_looked_up < kServiceLookupInterval) {
    return;  // the last lookup's answer stands
  }
  // After a failure the service is tried again only once the delay has passed, so that an
  // unreachable server holds a tick for its login timeout at most once per delay.
  if (!sms.service_connection && !sms.service_retry.Ready(now)) return;
  data::RecordSet setting;
  try {
    if (!sms.service_connection) {
      sms.service_connection = data::OpenConnection(connection_string);
      sms.service_opened_as = connection_string;
    }
    setting.Open(*sms.service_connection, lookup);
  } catch (const base::AgentError& e) {
    sms.service_connection.reset();
    sms.service_retry.Failed(now);
    NoteDown(context, sms.service_down,
             "Internet SMS service out of reach: " + server + "/" + catalog + ": " + e.Report());
    throw;
  }
  sms.service_retry.Succeeded();
  sms.service_lookup = lookup;
  sms.service_looked_up = now;
  NoteBack(context, sms.service_down,
           "Internet SMS service reached again: " + server + "/" + catalog);
  if (setting.RecordCount() <= 0) return;
  sms.SMSCustomerID = setting.Field("Customer_ID").AsInt32();
  sms.SMSSendBy = TextOr(setting, "Send_By", "...");
  sms.SMSServerReady = true;
}

}  // namespace

std::int32_t GetSMSCustomerID(data::Connection& main) {
  data::RecordSet rs;
  rs.Open(main, "Select * from SMSDatabase");
  if (rs.RecordCount() > 0) return rs.Field("Customer_ID").AsInt32();
  return 0;
}

void SetSMSDatabase(SmsContext& context) {
  SmsState& sms = *context.sms;
  try {
    if (context.MainConnection == nullptr) {
      throw base::AgentError(base::kConnectionFailed, "The accounting catalog is not open");
    }
    data::RecordSet rs;
    rs.Open(*context.MainConnection, "Select * from SMSDatabase");
    if (rs.RecordCount() < 1) return;

    sms.SMSGatewayType = TextOr(rs, "DType", "SIM");
    const std::string kind = Upper(sms.SMSGatewayType);
    if (kind == "SIM") {
      ReadSimGateway(rs, context);
    } else if (kind == "INTERNET") {
      ReadInternetGateway(rs, context);
    }
  } catch (const std::exception&) {
    // Whatever failed (settings row, file, connection, lookup), neither gateway is usable
    // until a later tick opens one again. The values read so far stay as they are.
    sms.SMSLocalReady = false;
    sms.SMSServerReady = false;
  }
}

}  // namespace sms
