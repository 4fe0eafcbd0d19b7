#pragma once
// Top-left corners of the skinned buttons of every window, addressed by a
// fixed index (0 "About Us", 1 Exit, ... 46 the chooser's "Close").

#include <cstddef>
#include <cstdint>
#include <vector>

namespace cx {

struct SkinPoint {
    int32_t x = 0;
    int32_t y = 0;
    friend bool operator==(const SkinPoint&, const SkinPoint&) = default;
};

// Index of each button in the list.
namespace ButtonPoint {
inline constexpr int about = 0, exit = 1, cameras = 2, monitor = 3, options = 4, addCamera = 5, snapshot = 6,
                     adjust = 7, record = 9, replay = 10, sound = 11, website = 12, interface = 13,
                     updateSoftware = 14, aboutClose = 15, addCameraFirst = 18, addCameraSecond = 19,
                     optionsClose = 20, cameraListFirst = 21, monitoringSelect = 41, monitoringClose = 42,
                     propertiesFirst = 43, propertiesSecond = 44, chooserClose = 46, downloadFirst = 47,
                     downloadSecond = 48;
inline constexpr int minimumCount = 49;
}  // namespace ButtonPoint

class ButtonPoints {
public:
    // The count the description announces; points past the lines it
    // really holds stay unset.
    int32_t declaredCount() const { return declared_; }
    // Points actually read, in index order.
    const std::vector<SkinPoint>& readPoints() const { return points_; }
    // Point `index`; (0, 0) when it is unset or out of range.
    SkinPoint at(int index) const;

    void reset(int32_t declared);
    void append(SkinPoint p) { points_.push_back(p); }

private:
    int32_t declared_ = 0;
    std::vector<SkinPoint> points_;
};

}  // namespace cx
