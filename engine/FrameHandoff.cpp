#include "FrameHandoff.h"

#include "Clock.h"
#include "FrameRate.h"
#include "FrameSteps.h"
#include "PaneBuffer.h"
#include "Snapshot.h"

namespace cx {

FrameHandoff::FrameHandoff(AppState& state, FrameDrawer& drawer, AviRecorder& recorder, const Clock& clock)
    : state_(state), drawer_(drawer), recorder_(recorder), clock_(clock), streams_(state, drawer, recorder, clock)
{
}

HandOffResult FrameHandoff::handOffPacket(int slot, const StreamPacket& packet)
{
    return streams_.run(slot, packet);
}

HandOffResult FrameHandoff::handOff(int slot, std::span<const uint8_t> frame)
{
    if (!validSlot(slot)) return HandOffResult::Done;
    const auto i = static_cast<size_t>(slot);
    const float rate = MeasureFrameRate(state_, slot, clock_);
    if (state_.snapshotRequest[i].exchange(0) == 1)
        SaveSnapshot(state_.programFolder, state_.cameraNameOf(slot), frame.data(), frame.size(), clock_);
    FrameDecoder& decoder = decoders_[i];
    if (!decoder.available()) return HandOffResult::NoDecoder;
    FrameServices services{decoder, drawer_, recorder_};
    RunFrameSteps(state_, services, slot, frame, rate);
    return HandOffResult::Done;
}

void FrameHandoff::paintBlack(int slot)
{
    if (!validSlot(slot)) return;
    // Panes belong to the engine for its whole life; the buffer's own lock suffices.
    if (PaneBuffer* pane = state_.viewWindow[static_cast<size_t>(slot)].load())
        pane->paint([](QImage& image) { image.fill(Qt::black); });
}

void FrameHandoff::streamEnded(int slot)
{
    streams_.streamEnded(slot);
}

int64_t FrameHandoff::decodeCount() const
{
    int64_t n = 0;
    for (const auto& d : decoders_) n += d.decodeCount();
    return n + streams_.decodeCount();
}

}  // namespace cx
