#include <windows.h>

#include <memory>

#include "tests/support/odbc_file_path.h"

namespace test_support {

std::string OdbcFilePath(const std::filesystem::path& file) {
  // Wine's kernel32 exports the conversion; Windows' does not, and needs none.
  using ToUnix = char*(CDECL*)(const wchar_t*);
  const auto to_unix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (to_unix == nullptr) return file.string();
  char* unix_path = to_unix(file.wstring().c_str());
  if (unix_path == nullptr) return file.string();
  std::string out(unix_path);
  HeapFree(GetProcessHeap(), 0, unix_path);
  return out;
}

}  // namespace test_support
