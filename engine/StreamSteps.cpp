#include "StreamSteps.h"

#include <memory>
#include <system_error>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
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

StreamSteps::~StreamSteps()
{
    for (Slot& s : slots_) delete s.mainThread.exchange(nullptr);
}

PaneDecodeThread* StreamSteps::mainThreadOf(int slot, Slot& s)
{
    if (PaneDecodeThread* thread = s.mainThread.load()) return thread;
    std::unique_ptr<PaneDecodeThread> made;
    try {
        made = std::make_unique<PaneDecodeThread>([this, slot, &s](const AVCodecParameters& parameters,
                                                                   uint64_t connection, const AVPacket& packet,
                                                                   bool restart) {
            std::lock_guard lock(s.lock);
            if (restart) s.main.skip();
            draw(slot, s, s.main, parameters, connection, packet);
        });
    } catch (const std::system_error&) {
        return nullptr;  // no thread to be had: the pane waits, the recording goes on
    }
    PaneDecodeThread* expected = nullptr;
    // Only the slot's thread makes it; the exchange keeps that true without a lock.
    if (!s.mainThread.compare_exchange_strong(expected, made.get())) return expected;
    return made.release();
}

void StreamSteps::streamEnded(int slot)
{
    if (!validSlot(slot)) return;
    Slot& s = slots_[static_cast<size_t>(slot)];
    if (PaneDecodeThread* thread = s.mainThread.load()) thread->cancel();
    s.main.markStale();
}

void StreamSteps::waitForPanes()
{
    for (Slot& s : slots_)
        if (PaneDecodeThread* thread = s.mainThread.load()) thread->waitIdle();
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

    VideoDecoder& decoder = fromMain ? s.main : s.sub;
    const VideoDecoder& wanted = mainWanted ? s.main : s.sub;
    // After a switch the stream shown so far keeps the pane until the wanted
    // one has a picture; a stream not shown is never started for that.
    const bool decodeIt = seen && (fromMain == mainWanted || (!wanted.ready() && decoder.ready()));
    if (fromMain) {
        // Only a reference is queued here: this thread reads and records.
        PaneDecodeThread* thread = decodeIt ? mainThreadOf(slot, s) : s.mainThread.load();
        if (decodeIt && thread != nullptr && thread->push(packet.input, packet.connection, packet.packet)) return;
        s.main.markStale();
        if (thread != nullptr) thread->leftOut();
        return;
    }
    const int stream = packet.packet.stream_index;
    if (!decodeIt || stream < 0 || stream >= static_cast<int>(packet.input.nb_streams)) {
        decoder.markStale();
        s.subSkipped = true;
        return;
    }
    std::lock_guard lock(s.lock);
    if (s.subSkipped.exchange(false)) decoder.skip();
    draw(slot, s, decoder, *packet.input.streams[stream]->codecpar, packet.connection, packet.packet);
}

void StreamSteps::draw(int slot, Slot& s, VideoDecoder& decoder, const AVCodecParameters& parameters,
                       uint64_t connection, const AVPacket& packet)
{
    PaneBuffer* pane = state_.viewWindow[static_cast<size_t>(slot)].load();
    const std::optional<SlotFlips> flips = state_.slotFlips(slot);
    if (pane == nullptr || !flips) {  // the pane went, or the slot left the table meanwhile
        decoder.skip();
        return;
    }
    const QRect rect = drawer_.drawRect(pane->size());
    if (decoder.decode(parameters, connection, packet, rect.size()))
        drawer_.DrawFrame(decoder.currentPicture(), *pane, rect, slot, s.frameRate.load(), *flips);
}

int64_t StreamSteps::decodeCount() const
{
    int64_t n = 0;
    for (const Slot& s : slots_) n += s.main.decodeCount() + s.sub.decodeCount();
    return n;
}

}  // namespace cx
