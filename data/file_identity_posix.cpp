// IdentifyFile on POSIX systems: device and inode numbers from stat().
#include <sys/stat.h>

#include "data/file_identity.h"

namespace data {

std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace data
