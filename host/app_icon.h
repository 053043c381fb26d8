#ifndef MAV_HOST_APP_ICON_H_
#define MAV_HOST_APP_ICON_H_

// The application icon: the window's (service_window*.cpp) and, as an icon file compiled
// into the Windows executable's resources, the one the Windows shell shows for the program.
// No dependencies, so that the Windows build can compile it for the build machine too.

#include <vector>

namespace host {

// The icon: a blue disc with a white speech bubble, `size` pixels square, RGBA rows top to
// bottom, transparent outside the disc.
std::vector<unsigned char> IconPixels(int size);

// The bytes of a Windows icon file (.ico) holding IconPixels for each of `sizes` (1 to 256):
// 32-bit images with alpha and their transparency masks.
std::vector<unsigned char> IconFile(const std::vector<int>& sizes);

// The sizes of the icon file of the executable.
inline const std::vector<int> kIconFileSizes = {16, 32, 48};

}  // namespace host

#endif  // MAV_HOST_APP_ICON_H_
