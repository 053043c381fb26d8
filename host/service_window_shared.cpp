#include "host/service_window_shared.h"

#include <cstddef>

#include "base/agent_error.h"
#include "host/service_window.h"

namespace host {

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

std::string StartupReport(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const base::AgentError& e) {
    return e.Report();
  } catch (const std::exception& e) {
    return base::AgentError(base::kDatabaseError, e.what()).Report();
  }
}

WindowPlacement LowerRightPlacement(float screen_width, float screen_height, float window_width,
                                    float window_height) {
  return {screen_width - window_width - 130.0f, screen_height - window_height - 660.0f};
}

}  // namespace host
