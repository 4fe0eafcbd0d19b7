#pragma once
// Draws a camera's frame into its pane: the picture stretched and mirrored,
// the blinking recording mark, the caption and the four view buttons.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include "CameraTable.h"

#include "DecodedPicture.h"
#include "OverlayBitmaps.h"

namespace cx {

class AppState;
class PaneBuffer;
struct SlotFlips;

// "Door (12.3 fps)".
std::string captionText(const std::string& cameraName, float frameRate);

// One per process, used by every worker at once. Shared by all cameras is
// only the blink counter, atomic on purpose (marks blink on the combined
// stream). Each slot keeps its caption and mirrored mark between frames,
// touched only by that slot's worker, so a frame allocates nothing.
class FrameDrawer {
public:
    FrameDrawer(const AppState& state, const OverlayBitmaps& bitmaps);

    // Where a frame goes in a pane of `paneSize`: all of it, or 320 x 240
    // at its top-left corner when the fixed image size is chosen.
    QRect drawRect(QSize paneSize) const;

    // Composes one frame of `slot` into `pane` at `rect` with the slot's
    // `flips` and asks the pane to repaint. Draws nothing while all cameras
    // stop, or when the slot's monitor is off (the pane keeps what it
    // shows). A missing picture is drawn black, with its overlays.
    void DrawFrame(const DecodedPicture& picture, PaneBuffer& pane, QRect rect, int slot, float frameRate,
                   SlotFlips flips);

    int32_t blinkCounter() const { return blinkCounter_.load(); }

private:
    // What a slot's frames reuse; slots_[i] belongs to slot i's worker.
    struct SlotCache {
        std::string name;     // the camera's name, copied in place
        std::string caption;  // captionText, formatted in place
        // The caption drawn once on a transparent image and laid over every
        // frame until its text, colour or width changes: text layout and
        // drawing cost more than the rest of a small pane's frame.
        QImage captionImage;
        std::string imageText;
        QRgb imageColour = 0;
        QImage mark;          // the recording mark mirrored with the picture
        qint64 markKey = 0;   // the bitmap it was made from
        bool markH = false;
        bool markV = false;
    };
    const QImage& captionImage(SlotCache& cache, int slot, float frameRate, QRgb colour, int width) const;
    const QImage& mirroredMark(SlotCache& cache, const QImage& mark, bool h, bool v) const;

    const AppState& state_;
    const OverlayBitmaps& bitmaps_;
    QFont captionFont_;  // copied by each drawing, never changed after construction
    std::atomic<int32_t> blinkCounter_{0};
    std::array<SlotCache, maxCameras> slots_;
};

}  // namespace cx
