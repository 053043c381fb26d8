#include "tests/support/odbc_file_path.h"

namespace test_support {

std::string OdbcFilePath(const std::filesystem::path& file) { return file.string(); }

}  // namespace test_support
