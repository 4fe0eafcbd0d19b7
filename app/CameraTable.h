#pragma once
// The configured cameras as loaded from the camera database, indexed by slot.

#include <cstdint>
#include <string>
#include <vector>

namespace cx {

inline constexpr int maxCameras = 16;

// Written only by the camera database loads on the UI thread; workers read
// their own slot after the table was loaded and before it is loaded again
// (the table is reloaded only while no worker runs).
struct CameraTable {
    int32_t count = 0;
    std::vector<std::string> address;  // cameraIP ":" cameraport
    std::vector<std::string> login;
    std::vector<std::string> password;
    std::vector<int32_t> type;
    std::vector<int32_t> flipHorizontal;
    std::vector<int32_t> flipVertical;

    // Empties the table: count 0, arrays released.
    void clear();
    // Allocates the arrays for n cameras (values empty / 0), count stays.
    void allocate(int n);
};

// Default flip values a camera's properties dialog falls back to.
struct CameraDefaults {
    int32_t flipHorizontal = 0;
    int32_t flipVertical = 0;
};

}  // namespace cx
