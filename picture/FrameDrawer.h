#pragma once
// Draws a camera's frame into its pane: the picture stretched and mirrored,
// the blinking recording mark, the caption and the four view buttons.

#include <atomic>
#include <cstdint>
#include <string>

#include <QFont>
#include <QRect>
#include <QSize>

#include "DecodedPicture.h"
#include "OverlayBitmaps.h"

namespace cx {

class AppState;
class PaneBuffer;
struct SlotFlips;

// "Door (12.3 fps)".
std::string captionText(const std::string& cameraName, float frameRate);

// One per process, used by every worker at once: it keeps nothing per frame
// but the blink counter, which is atomic and shared by all cameras on
// purpose (marks blink on the combined stream).
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
    const AppState& state_;
    const OverlayBitmaps& bitmaps_;
    QFont captionFont_;  // copied by each drawing, never changed after construction
    std::atomic<int32_t> blinkCounter_{0};
};

}  // namespace cx
