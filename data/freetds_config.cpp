// What FreeTDS reads from its own configuration files (freetds.conf): only what the agent
// must know before asking FreeTDS for a checked certificate.
//
// The format: "[name]" opens a section, "name = value" sets a property, lines beginning with
// ";" or "#" are comments. Section and property names match without regard to letter case,
// and blanks inside a property name count as one ("ca   file" is "ca file").

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "data/connection_string.h"
#include "data/drivers.h"

namespace data {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// A property name as FreeTDS compares it: small letters, inner blanks made one space.
std::string PropertyName(const std::string& text) {
  std::string out;
  for (char c : Trim(text)) {
    if (c == ' ' || c == '\t') {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return out;
}

}  // namespace

std::vector<std::filesystem::path> FreeTdsConfigFiles() {
  std::vector<std::filesystem::path> files;
  for (const char* variable : {"FREETDSCONF", "FREETDS"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      files.emplace_back(value);
      break;
    }
  }
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0')
    files.push_back(std::filesystem::path(home) / ".freetds.conf");
  files.emplace_back("/etc/freetds/freetds.conf");
  return files;
}

std::optional<std::string> FreeTdsCaFile(const std::vector<std::filesystem::path>& files,
                                         const std::string& server) {
  std::optional<std::string> ca_file;
  for (const auto& file : files) {
    std::ifstream in(file);
    if (!in) continue;
    // FreeTDS applies a file's [global] section first, then the server's own section.
    std::optional<std::string> global_value;
    std::optional<std::string> server_value;
    bool has_server = false;
    std::string section;
    for (std::string line; std::getline(in, line);) {
      line = Trim(line);
      if (line.empty() || line[0] == ';' || line[0] == '#') continue;
      if (line[0] == '[') {
        const std::size_t close = line.find(']');
        section = Trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
        if (EqualsIgnoreCase(section, server)) has_server = true;
        continue;
      }
      const std::size_t eq = line.find('=');
      if (eq == std::string::npos || PropertyName(line.substr(0, eq)) != "ca file") continue;
      const std::string value = Trim(line.substr(eq + 1));
      if (EqualsIgnoreCase(section, "global")) global_value = value;
      if (EqualsIgnoreCase(section, server)) server_value = value;
    }
    if (global_value) ca_file = global_value;
    if (server_value) ca_file = server_value;
    if (has_server) break;  // FreeTDS reads no further file
  }
  if (ca_file && ca_file->empty()) return std::nullopt;
  return ca_file;
}

}  // namespace data
