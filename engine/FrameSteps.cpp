#include "FrameSteps.h"

#include <mutex>

#include "AppState.h"
#include "AviRecorder.h"
#include "FrameDrawer.h"
#include "PaneBuffer.h"

namespace cx {

DecodeResult RunFrameSteps(AppState& state, FrameServices& services, int slot, std::span<const uint8_t> jpeg,
                           float frameRate)
{
    if (!validSlot(slot)) return {};
    const auto i = static_cast<size_t>(slot);
    PaneBuffer* pane = state.viewWindow[i].load();
    // Drawn only when someone looks, live view is on and the cameras run:
    // nothing else is decoded (the drawer would not draw it).
    const bool seen = pane != nullptr && state.picturesWanted.load() == 1 &&
                      state.settings.monitorEnabled[i].load() == 1;

    DecodeResult decoded;
    bool fullPicture = false;
    if (state.slotRecords(slot)) {
        std::lock_guard lock(state.recordLock[i]);
        if (state.aviFile[i] != nullptr) {
            // "DIB " recordings store pixels: decode at full size once and
            // draw from the same picture.
            const bool pixels = services.recorder.wantsPixels(slot);
            decoded = pixels ? services.decoder.DecodeFrame(jpeg.data(), jpeg.size())
                             : services.decoder.readSize(jpeg.data(), jpeg.size());
            fullPicture = pixels;
            if (decoded.decoded)
                services.recorder.WriteFrame(slot, decoded.width, decoded.height, jpeg,
                                             services.decoder.currentPicture());
        }
    }
    services.recorder.reportPendingFailure();
    if (!seen) return decoded;

    const std::optional<SlotFlips> flips = state.slotFlips(slot);
    if (!flips) return decoded;  // the slot left the table meanwhile
    const QRect rect = services.drawer.drawRect(pane->size());
    if (!fullPicture) decoded = services.decoder.DecodeFrame(jpeg.data(), jpeg.size(), rect.size());
    services.drawer.DrawFrame(services.decoder.currentPicture(), *pane, rect, slot, frameRate, *flips);
    return decoded;
}

}  // namespace cx
