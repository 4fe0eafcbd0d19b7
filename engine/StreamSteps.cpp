#include "StreamSteps.h"

extern "C" {
#include <libavcodec/packet.h>
}

#include "AviRecorder.h"
#include "Clock.h"
#include "FrameDrawer.h"
#include "FrameRate.h"
#include "KeyFrameJpeg.h"
#include "PaneBuffer.h"
#include "Snapshot.h"

namespace cx {

StreamSteps::StreamSteps(AppState& state, FrameDrawer& drawer, AviRecorder& recorder, const Clock& clock)
    : state_(state), drawer_(drawer), recorder_(recorder), clock_(clock)
{
}

HandOffResult StreamSteps::run(int slot, const StreamPacket& packet)
{
    if (!validSlot(slot)) return HandOffResult::Done;
    const auto i = static_cast<size_t>(slot);
    Slot& s = slots_[i];
    if (packet.role == RtspRole::Main) {
        const bool key = (packet.packet.flags & AV_PKT_FLAG_KEY) != 0;
        if (packet.video) {
            s.frameRate = MeasureFrameRate(state_, slot, clock_);
            // A snapshot waits for the next key frame: only it decodes on its own.
            if (key && state_.snapshotRequest[i].exchange(0) == 1) {
                const std::vector<uint8_t> jpeg = keyFrameJpeg(packet.input, packet.packet);
                if (!jpeg.empty())
                    SaveSnapshot(state_.programFolder, state_.cameraNameOf(slot), jpeg.data(), jpeg.size(), clock_);
            }
        }
        if (state_.slotRecords(slot)) {
            std::lock_guard lock(state_.recordLock[i]);
            recorder_.writePacket(slot, packet.input, packet.packet, packet.connection);
        }
        recorder_.reportPendingFailure();
    }
    if (packet.video) show(slot, s, packet);
    return HandOffResult::Done;
}

void StreamSteps::show(int slot, Slot& s, const StreamPacket& packet)
{
    const auto i = static_cast<size_t>(slot);
    PaneBuffer* pane = state_.viewWindow[i].load();
    const bool seen =
        pane != nullptr && state_.picturesWanted.load() == 1 && state_.settings.monitorEnabled[i].load() == 1;
    const bool mainWanted = state_.viewEnlarged[i].load() == 1 || !packet.subLive;
    const bool fromMain = packet.role == RtspRole::Main;

    std::lock_guard lock(s.lock);
    VideoDecoder& decoder = fromMain ? s.main : s.sub;
    const VideoDecoder& wanted = mainWanted ? s.main : s.sub;
    // After a switch the stream shown so far keeps the pane until the wanted
    // one has a picture; a stream not shown is never started for that.
    const bool decodeIt = seen && (fromMain == mainWanted || (!wanted.ready() && decoder.ready()));
    if (!decodeIt) {
        decoder.skip();
        return;
    }
    const std::optional<SlotFlips> flips = state_.slotFlips(slot);
    if (!flips) return;  // the slot left the table meanwhile
    const QRect rect = drawer_.drawRect(pane->size());
    if (decoder.decode(packet.input, packet.connection, packet.packet, rect.size()))
        drawer_.DrawFrame(decoder.currentPicture(), *pane, rect, slot, s.frameRate.load(), *flips);
}

int64_t StreamSteps::decodeCount() const
{
    int64_t n = 0;
    for (const Slot& s : slots_) n += s.main.decodeCount() + s.sub.decodeCount();
    return n;
}

}  // namespace cx
