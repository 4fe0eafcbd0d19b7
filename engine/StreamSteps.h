#pragma once
// The steps of one packet of an RTSP camera, as the camera's threads run
// them: a main stream packet is counted, recorded as it came when the slot
// records, and turned into the snapshot asked for at its next key frame;
// the video of the stream the pane shows is decoded and drawn when someone
// sees the pane. The pane shows the sub stream, or the main stream when
// the camera has no sub stream delivering or its view is magnified; after
// a switch the stream shown before stays until the new one has a picture.
// The sub stream is decoded on its own reading thread, which records
// nothing; the main stream on a decoding thread of the slot's, so that the
// reading and recording of the main stream never wait for a decode.

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

#include "AppState.h"
#include "FrameSink.h"
#include "PaneDecodeThread.h"
#include "VideoDecoder.h"

namespace cx {

class AviRecorder;
class Clock;
class FrameDrawer;

class StreamSteps {
public:
    StreamSteps(AppState& state, FrameDrawer& drawer, AviRecorder& recorder, const Clock& clock);
    ~StreamSteps();

    HandOffResult run(int slot, const StreamPacket& packet);

    // Packets decoded for panes so far, all slots together.
    int64_t decodeCount() const;
    // Returns once every main-stream packet handed over so far is decoded
    // and drawn.
    void waitForPanes();
    // The slot's connection ended: its packets still waiting are dropped,
    // so a picture of it never lands after it (the slot may next serve
    // another camera).
    void streamEnded(int slot);

private:
    struct Slot {
        std::mutex lock;  // the decoding and the sub stream's threads take turns at the decoders and the pane
        VideoDecoder main;
        VideoDecoder sub;
        std::atomic<float> frameRate{0};
        // Started at the first main-stream packet a pane wants; owned here.
        std::atomic<PaneDecodeThread*> mainThread{nullptr};
        // The sub stream's reader left a packet undecoded: the decoder waits
        // for a key frame from its next decode on. Set without the lock, so
        // a skipped packet never waits for a main-stream decode.
        std::atomic<bool> subSkipped{false};
    };
    void show(int slot, Slot& s, const StreamPacket& packet);
    // Null when no thread could be started.
    PaneDecodeThread* mainThreadOf(int slot, Slot& s);
    // With s.lock held: decodes `packet` and draws the picture into the pane.
    void draw(int slot, Slot& s, VideoDecoder& decoder, const AVCodecParameters& parameters, uint64_t connection,
              const AVPacket& packet);

    AppState& state_;
    FrameDrawer& drawer_;
    AviRecorder& recorder_;
    const Clock& clock_;
    std::array<Slot, maxCameras> slots_;
};

}  // namespace cx
