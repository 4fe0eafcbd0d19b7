#include "FrameHandoff.h"

#include <mutex>

#include "AppState.h"
#include "Clock.h"
#include "FrameRate.h"
#include "PaneBuffer.h"
#include "AviRecorder.h"
#include "Snapshot.h"

namespace cx {

FrameHandoff::FrameHandoff(AppState& state, FrameServices services, const Clock& clock)
    : state_(state), services_(services), clock_(clock)
{
}

void FrameHandoff::handOff(int slot, std::vector<uint8_t>&& frame)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    {
        std::lock_guard lock(state_.frameLock);
        const float rate = MeasureFrameRate(state_, slot, clock_);
        if (state_.snapshotRequest[i].exchange(0) == 1)
            SaveSnapshot(state_.programFolder, state_.cameraNameOf(slot), frame.data(), frame.size(), clock_);
        RunFrameSteps(state_, services_, slot, frame, rate);
    }
    services_.recorder.reportPendingFailure();
}

void FrameHandoff::paintBlack(int slot)
{
    if (!validSlot(slot)) return;
    // Under frameLock: the UI thread clears viewWindow under it before a pane goes away.
    std::lock_guard lock(state_.frameLock);
    if (PaneBuffer* pane = state_.viewWindow[static_cast<size_t>(slot)].load())
        pane->paint([](QImage& image) { image.fill(Qt::black); });
}

bool FrameHandoff::paneReady(int slot)
{
    return validSlot(slot) && state_.layoutRebuilding.load() != 1 &&
           state_.viewWindow[static_cast<size_t>(slot)].load() != nullptr;
}

}  // namespace cx
