#pragma once
// The bitmaps painted over the live picture: recording marks and the four
// view buttons, by resource number. Built in; a skin may replace them.

#include <map>

#include <QImage>

namespace cx {

namespace overlay {
inline constexpr int recordManual = 139;     // 16 x 16, black transparent
inline constexpr int recordSchedule = 180;   // 16 x 16, black transparent
inline constexpr int viewSingle = 254;       // 22 x 22, white transparent
inline constexpr int viewEnlarged = 255;
inline constexpr int snapshot = 256;
inline constexpr int flipVertical = 257;
inline constexpr int flipHorizontal = 258;
}  // namespace overlay

class OverlayBitmaps {
public:
    // The program's own drawings of all seven bitmaps.
    static OverlayBitmaps builtIn();

    // Null when the bitmap is missing (the overlay is then left out).
    const QImage* find(int resource) const;
    // Replaces or adds one bitmap (stored as RGB32).
    void set(int resource, const QImage& image);
    void remove(int resource);

private:
    std::map<int, QImage> images_;
};

}  // namespace cx
