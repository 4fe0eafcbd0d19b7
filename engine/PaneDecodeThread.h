#pragma once
// Decodes one camera's main stream for its pane on a thread of its own, so
// that a slow decode (a 4K stream magnified on a small machine) never holds
// up the thread that reads and records the stream. The reading thread only
// queues a reference to each packet; when the queue is full, everything
// waiting is dropped and the pane picks up again at the next key frame.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

struct AVCodecParameters;
struct AVFormatContext;
struct AVPacket;

namespace cx {

class PaneDecodeThread {
public:
    // Runs on the decoding thread, one packet at a time, in order. `restart`:
    // packets were left out before this one, so the decoder must wait for
    // a key frame.
    using Decode = std::function<void(const AVCodecParameters& parameters, uint64_t connection,
                                      const AVPacket& packet, bool restart)>;

    explicit PaneDecodeThread(Decode decode);
    ~PaneDecodeThread();
    PaneDecodeThread(const PaneDecodeThread&) = delete;
    PaneDecodeThread& operator=(const PaneDecodeThread&) = delete;

    // Reading thread: queues `packet` of `input`. False when it was left
    // out: after a gap (a packet left out, or a full queue, whose packets
    // are then dropped) only a key frame is queued.
    bool push(const AVFormatContext& input, uint64_t connection, const AVPacket& packet);
    // Reading thread: a packet went by without being queued.
    void leftOut();
    // Returns once every queued packet has been decoded.
    void waitIdle();
    // Drops what waits and returns once no packet is being decoded: the
    // connection that queued them has ended, and nothing of it may reach
    // the pane after this.
    void cancel();

    static constexpr size_t capacity = 8;  // half a second at 15 frames a second

private:
    void run();
    void dropQueued();  // with lock_ held

    Decode decode_;
    std::mutex lock_;  // a leaf: nothing else is taken while it is held
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::array<AVPacket*, capacity> ring_{};  // guarded by lock_, like everything below
    size_t head_ = 0;
    size_t count_ = 0;
    bool busy_ = false;
    bool restart_ = true;  // the decoder must skip before the next packet it takes
    bool gap_ = true;      // push: packets went missing since the last key frame queued
    bool stop_ = false;
    // The stream the queued packets belong to; queued packets are dropped
    // when it changes, so one copy of its parameters serves them all.
    AVCodecParameters* parameters_ = nullptr;
    uint64_t connection_ = 0;
    int stream_ = -1;
    std::thread thread_;  // last: started once everything above exists
};

}  // namespace cx
