#ifndef MAV_DATA_FILE_IDENTITY_H_
#define MAV_DATA_FILE_IDENTITY_H_

#include <cstdint>
#include <filesystem>
#include <optional>

namespace data {

// Which file a path leads to: the same path names another file once the file was replaced
// (a copy moved over it), even when its name, size and contents are alike.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;  // the file's number on its device (inode)
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// The identity of the file at `path`; std::nullopt when there is none.
std::optional<FileIdentity> IdentifyFile(const std::filesystem::path& path);

}  // namespace data

#endif  // MAV_DATA_FILE_IDENTITY_H_
