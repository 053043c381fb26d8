#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/gammu_smsd.h"

namespace test_support {
namespace fs = std::filesystem;

fs::path FindGammuSmsd() {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "";
  folders += ":/usr/bin:/usr/sbin";
  std::istringstream in(folders);
  for (std::string folder; std::getline(in, folder, ':');) {
    if (folder.empty()) continue;
    const fs::path candidate = fs::path(folder) / "gammu-smsd";
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

fs::path WriteGammuSmsdConfig(const fs::path& folder, const fs::path& database) {
  fs::create_directories(folder / "phone");
  const fs::path config = folder / "smsdrc";
  std::ofstream out(config);
  // dbdir ends with the separator: the driver joins it and the file name as they are.
  out << "[gammu]\n"
      << "model = dummy\n"
      << "connection = none\n"
      << "device = " << (folder / "phone").string() << "/\n"
      << "[smsd]\n"
      << "service = sql\n"
      << "driver = sqlite3\n"
      << "dbdir = " << fs::absolute(database).parent_path().string() << "/\n"
      << "database = " << database.filename().string() << "\n"
      << "logfile = " << (folder / "smsd.log").string() << "\n"
      << "debuglevel = 1\n"
      << "commtimeout = 1\n"
      << "loopsleep = 1\n";
  return config;
}

}  // namespace test_support
