#include "host/app_icon.h"

#include <cstddef>
#include <cstdint>

namespace host {
namespace {

void Put16(std::vector<unsigned char>& out, std::uint32_t v) {
  out.push_back(static_cast<unsigned char>(v & 0xFF));
  out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
}

void Put32(std::vector<unsigned char>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// One image of an icon file: a BITMAPINFOHEADER whose height counts the colour rows and
// the mask rows together (twice the size), the colour rows bottom to top as blue, green,
// red, alpha, then the 1-bit mask rows bottom to top, each padded to 32 bits (a set bit is
// a transparent pixel).
std::vector<unsigned char> IconImage(int size) {
  const std::vector<unsigned char> rgba = IconPixels(size);
  const std::size_t mask_row = ((static_cast<std::size_t>(size) + 31) / 32) * 4;
  std::vector<unsigned char> out;
  Put32(out, 40);  // header size
  Put32(out, static_cast<std::uint32_t>(size));
  Put32(out, static_cast<std::uint32_t>(size) * 2);
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  Put32(out, 0);   // BI_RGB
  const std::size_t pixels = static_cast<std::size_t>(size) * size;
  Put32(out, static_cast<std::uint32_t>(pixels * 4 + mask_row * size));
  for (int i = 0; i < 4; ++i) Put32(out, 0);  // resolution, palette
  for (int y = size - 1; y >= 0; --y) {
    for (int x = 0; x < size; ++x) {
      const unsigned char* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<unsigned char> row(mask_row, 0);
    for (int x = 0; x < size; ++x) {
      if (rgba[(static_cast<std::size_t>(y) * size + x) * 4 + 3] == 0) {
        row[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<unsigned char> IconPixels(int size) {
  std::vector<unsigned char> rgba(static_cast<std::size_t>(size) * size * 4, 0);
  const float c = (size - 1) / 2.0f;
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      unsigned char* p = &rgba[(static_cast<std::size_t>(y) * size + x) * 4];
      const float dx = x - c, dy = y - c;
      if (dx * dx + dy * dy > c * c + 0.5f) continue;  // transparent outside the disc
      // Bubble: a box over the middle of the disc, with a small tail under its left half.
      const float u = x / static_cast<float>(size), v = y / static_cast<float>(size);
      const bool bubble =
          (u > 0.22f && u < 0.78f && v > 0.28f && v < 0.62f) ||
          (u > 0.32f && u < 0.44f && v >= 0.62f && v < 0.74f && u - 0.32f < 0.74f - v);
      p[0] = bubble ? 255 : 64;
      p[1] = bubble ? 255 : 64;
      p[2] = bubble ? 255 : 160;
      p[3] = 255;
    }
  }
  return rgba;
}

std::vector<unsigned char> IconFile(const std::vector<int>& sizes) {
  // ICONDIR, one ICONDIRENTRY per image, then the images.
  std::vector<std::vector<unsigned char>> images;
  images.reserve(sizes.size());
  for (int size : sizes) images.push_back(IconImage(size));
  std::vector<unsigned char> out;
  Put16(out, 0);  // reserved
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<std::uint32_t>(sizes.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    out.push_back(static_cast<unsigned char>(sizes[i] & 0xFF));  // 0 stands for 256
    out.push_back(static_cast<unsigned char>(sizes[i] & 0xFF));
    out.push_back(0);  // no palette
    out.push_back(0);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, static_cast<std::uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<std::uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}

}  // namespace host
