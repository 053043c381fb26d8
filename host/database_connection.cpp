#include "host/database_connection.h"

#include <system_error>

#include "base/agent_error.h"
#include "data/connection_string.h"
#include "data/record_set.h"
#include "host/connector_file.h"
#include "host/encryption_settings.h"

namespace host {

// Every value the agent did not write itself is quoted: a password such as
// "x;Data Source=/elsewhere" stays a password.
std::string SettingsConnectionString(const std::filesystem::path& program_folder) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
         data::QuotedValue((program_folder / "mavdata.cdf").string()) +
         ";Persist Security Info=false;Jet OLEDB:Database Password=" + kSettingsPassword;
}

std::string MainConnectionString(const AgentState& state) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" +
         data::QuotedValue(state.DbUser) + ";pwd=" + data::QuotedValue(state.DbPassword) +
         ";Initial Catalog=" + data::QuotedValue(state.DbName) +
         ";Data Source=" + data::QuotedValue(state.DbServer) +
         data::SqlServerTlsKeys(state.accounting_tls);
}

std::string MasterConnectionString(const AgentState& state) {
  return "Provider=SQLOLEDB.1;Persist Security Info=False;User ID=" +
         data::QuotedValue(state.DbUser) + ";pwd=" + data::QuotedValue(state.DbPassword) +
         ";Initial Catalog=Master;Data Source=" + data::QuotedValue(state.DbServer) +
         data::SqlServerTlsKeys(state.accounting_tls);
}

bool ConnectorFilePresent(const std::filesystem::path& folder) {
  // Listing the folder rather than probing the path keeps the comparison exact on file
  // systems that ignore letter case.
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().filename() == kConnectorFileName) {
      std::error_code type_ec;
      return it->is_regular_file(type_ec);
    }
  }
  return false;
}

void SetDatabase(AgentState& state) {
  const std::filesystem::path& folder = state.env.program_folder;
  // Waiting does not bring a missing settings file back: that is the installation's fault.
  const std::filesystem::path settings = folder / "mavdata.cdf";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(settings, ec)) {
    throw base::AgentError(base::kFileNotFound,
                           "The settings file " + settings.string() + " does not exist");
  }
  state.JetConnection = data::OpenConnection(SettingsConnectionString(folder));
  const EncryptionSettings encryption = ReadEncryptionSettings(folder / kEncryptionFileName);
  state.accounting_tls = encryption.accounting;
  state.sms.service_tls = encryption.sms_service;

  state.UseConnector = ConnectorFilePresent(folder);
  if (state.UseConnector) {
    FileInfo(state, folder / kConnectorFileName);
    state.DbServer = state.CnServer;
    state.DbUser = state.CnUser;
    state.DbPassword = state.CnPassword;
    state.DbName = state.CnDatabase;
  } else {
    data::RecordSet rs;
    rs.Open(*state.JetConnection, "Select * from Settings Where [Using]=true",
            data::CursorType::kDynamic, data::LockType::kOptimistic);
    if (rs.Bof() || rs.Eof()) {
      state.DbConnected = false;
      return;
    }
    state.DbServer = rs.Field("ServerName").Text().value_or(".");
    state.DbUser = rs.Field("UserName").Text().value_or("");
    state.DbPassword = rs.Field("PassWord").Text().value_or("");
    state.DbName = rs.Field("Dbase").Text().value_or("MavData2075");
  }

  state.MainConnection = data::OpenConnection(MainConnectionString(state));
  state.DbConnected = true;
}

}  // namespace host
