#include "FrameSteps.h"

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
    PaneBuffer* pane = state.layoutRebuilding.load() == 1 ? nullptr : state.viewWindow[i].load();
    const QRect rect = pane != nullptr ? services.drawer.drawRect(pane->size()) : QRect();
    const bool records = state.slotRecords(slot) && state.aviFile[i] != nullptr;
    const bool fullSize = records && services.recorder.wantsPixels(slot);

    const DecodeResult decoded = services.decoder.DecodeFrame(jpeg.data(), jpeg.size(),
                                                              fullSize || pane == nullptr ? QSize() : rect.size());
    if (records)
        services.recorder.WriteFrame(slot, decoded.width, decoded.height, jpeg, services.decoder.currentPicture());
    if (pane != nullptr) services.drawer.DrawFrame(services.decoder.currentPicture(), *pane, rect, slot, frameRate);
    return decoded;
}

}  // namespace cx
