// IdentifyFile on Windows: the volume's serial number and the file's index on it. The file
// is opened for no access at all, so that it stays free for every other program.
#include <windows.h>

#include "data/file_identity.h"

namespace data {

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path) {
  const HANDLE file =
      CreateFileW(path.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL ok = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.dwVolumeSerialNumber),
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace data
