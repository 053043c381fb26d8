#ifndef MAV_TESTS_SUPPORT_ODBC_FILE_PATH_H_
#define MAV_TESTS_SUPPORT_ODBC_FILE_PATH_H_

#include <filesystem>
#include <string>

namespace test_support {

// `file` as an ODBC driver takes it in "Database=...". Under Wine a Windows program reaches
// the host's unixODBC drivers, which take host paths ("/tmp/..."), not Windows ones
// ("C:\users\..."); everywhere else it is the path itself.
std::string OdbcFilePath(const std::filesystem::path& file);

}  // namespace test_support

#endif  // MAV_TESTS_SUPPORT_ODBC_FILE_PATH_H_
