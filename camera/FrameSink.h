#pragma once
// Where a worker hands a received frame: the snapshot, picture, recording
// and drawing steps. Workers call it only after the frame's bytes have been
// read from the network, holding no lock.

#include <cstdint>
#include <span>

struct AVFormatContext;
struct AVPacket;

namespace cx {

// Which of an RTSP camera's streams a packet came from.
enum class RtspRole { Main, Sub };

// One packet of an RTSP camera, lent for the length of the call.
struct StreamPacket {
    const AVFormatContext& input;  // the connection's demuxer
    const AVPacket& packet;
    RtspRole role;
    bool video;         // of the input's video stream; otherwise of an audio stream (main only)
    bool subLive;       // the camera's sub stream delivers pictures now
    uint64_t connection;  // a new number for every input opened: decoders start afresh
};

enum class HandOffResult {
    Done,
    NoDecoder,  // the picture decoder could not be set up: the worker reports it and ends
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // One complete frame of `slot` (JPEG bytes as the camera sent them),
    // lent for the length of the call: the bytes stay in the worker's own
    // buffer, which the next frame reuses.
    virtual HandOffResult handOff(int slot, std::span<const uint8_t> frame) = 0;
    // A packet of an RTSP camera: main stream packets are recorded as they
    // are, and the picture of the stream the pane shows is decoded and drawn
    // when someone sees it.
    virtual HandOffResult handOffPacket(int slot, const StreamPacket& packet) = 0;
    // The slot's live view was switched off: paint its pane black.
    virtual void paintBlack(int slot) = 0;
    // An RTSP connection of the slot has ended, both its readers with it:
    // nothing it handed over reaches the pane once this returns.
    virtual void streamEnded(int /*slot*/) {}
};

}  // namespace cx
