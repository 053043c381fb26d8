#include "host/app_icon.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace host {
namespace {

std::uint32_t Read16(const std::vector<unsigned char>& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8;
}
std::uint32_t Read32(const std::vector<unsigned char>& b, std::size_t at) {
  return Read16(b, at) | Read16(b, at + 2) << 16;
}

// The icon file read back as Windows reads it (its images bottom-up, height counting the
// mask rows too) gives the window's pixels, with the mask set exactly where they are
// transparent.
TEST(IconFile, ImagesReadBackAsTheWindowsIcon) {
  const std::vector<int> sizes = {16, 32, 48};
  const std::vector<unsigned char> file = IconFile(sizes);
  ASSERT_EQ(0u, Read16(file, 0));
  ASSERT_EQ(1u, Read16(file, 2));
  ASSERT_EQ(sizes.size(), Read16(file, 4));
  std::size_t end = 6 + 16 * sizes.size();
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const int size = sizes[i];
    SCOPED_TRACE(size);
    const std::size_t entry = 6 + 16 * i;
    EXPECT_EQ(static_cast<unsigned>(size), file.at(entry));
    EXPECT_EQ(static_cast<unsigned>(size), file.at(entry + 1));
    EXPECT_EQ(32u, Read16(file, entry + 6));
    const std::uint32_t bytes = Read32(file, entry + 8);
    const std::uint32_t at = Read32(file, entry + 12);
    EXPECT_EQ(end, at);  // images follow each other without gaps
    end = at + bytes;
    ASSERT_LE(end, file.size());

    EXPECT_EQ(40u, Read32(file, at));
    EXPECT_EQ(static_cast<std::uint32_t>(size), Read32(file, at + 4));
    EXPECT_EQ(static_cast<std::uint32_t>(2 * size), Read32(file, at + 8));
    const std::size_t mask_row = (size + 31) / 32 * 4;
    ASSERT_EQ(40 + size * size * 4 + mask_row * size, bytes);

    const std::vector<unsigned char> rgba = IconPixels(size);
    int wrong = 0;
    for (int y = 0; y < size; ++y) {
      const std::size_t row = size - 1 - y;  // stored bottom-up
      for (int x = 0; x < size; ++x) {
        const unsigned char* want = &rgba[(y * size + x) * 4];
        const unsigned char* got = &file[at + 40 + (row * size + x) * 4];
        const bool masked =
            file[at + 40 + size * size * 4 + row * mask_row + x / 8] & (0x80 >> (x % 8));
        wrong += got[0] != want[2] || got[1] != want[1] || got[2] != want[0] || got[3] != want[3] ||
                 masked != (want[3] == 0);
      }
    }
    EXPECT_EQ(0, wrong);
  }
  EXPECT_EQ(file.size(), end);
}

}  // namespace
}  // namespace host
