#include "host/encryption_settings.h"

#include <fstream>
#include <string>
#include <system_error>

#include "base/agent_error.h"
#include "data/connection_string.h"

namespace host {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

EncryptionSettings ReadEncryptionSettings(const std::filesystem::path& file) {
  EncryptionSettings settings;
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return settings;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw base::AgentError(base::kConnectionFailed, "Cannot read " + file.string());
  }
  data::SqlServerTls* section = nullptr;
  int number = 0;
  const auto error = [&](const std::string& what) {
    return base::AgentError(base::kConnectionFailed,
                            file.string() + " line " + std::to_string(number) + ": " + what);
  };
  for (std::string line; std::getline(in, line);) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const std::string name = line.back() == ']' ? Trim(line.substr(1, line.size() - 2)) : "";
      if (data::EqualsIgnoreCase(name, "Accounting")) {
        section = &settings.accounting;
      } else if (data::EqualsIgnoreCase(name, "SMSService")) {
        section = &settings.sms_service;
      } else {
        throw error("unknown section " + line +
                    " (the sections are [Accounting] and [SMSService])");
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) throw error("no \"=\" between name and value");
    const std::string key = Trim(line.substr(0, eq));
    const std::string value = Trim(line.substr(eq + 1));
    if (section == nullptr) throw error(key + " stands before the first section");
    if (data::EqualsIgnoreCase(key, "Encrypt")) {
      if (data::EqualsIgnoreCase(value, "Verify")) {
        section->verify = true;
      } else if (data::EqualsIgnoreCase(value, "Default")) {
        section->verify = false;
      } else {
        throw error("Encrypt is \"" + value + "\" (Default or Verify)");
      }
    } else if (data::EqualsIgnoreCase(key, "HostNameInCertificate")) {
      section->host_name_in_certificate = value;
    } else {
      throw error("unknown name " + key + " (Encrypt, HostNameInCertificate)");
    }
  }
  for (const data::SqlServerTls* tls : {&settings.accounting, &settings.sms_service}) {
    if (!tls->verify && !tls->host_name_in_certificate.empty()) {
      throw base::AgentError(base::kConnectionFailed,
                             file.string() + ": HostNameInCertificate is given without " +
                                 "Encrypt = Verify, so no certificate would be checked");
    }
  }
  return settings;
}

}  // namespace host
