// Writes the application icon as a Windows icon file, for the executable's resources:
//
//   mav-icon <file.ico>
//
// The Windows build compiles this with the build machine's compiler (host/CMakeLists.txt).
#include <cstdio>
#include <vector>

#include "host/app_icon.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: mav-icon <file.ico>\n");
    return 2;
  }
  const std::vector<unsigned char> icon = host::IconFile(host::kIconFileSizes);
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool written = std::fwrite(icon.data(), 1, icon.size(), out) == icon.size();
  if (std::fclose(out) != 0 || !written) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
