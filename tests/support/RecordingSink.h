#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

#include "FrameSink.h"
#include "FrameSource.h"

namespace cx::test {

// Keeps what workers hand over: per slot, the simulated frame numbers.
class RecordingSink final : public FrameSink {
public:
    struct Frame {
        int slot;
        std::optional<uint64_t> number;
        size_t size;
        bool jpegStart;
    };

    HandOffResult handOff(int slot, std::span<const uint8_t> frame) override
    {
        std::lock_guard lock(mutex_);
        frames_.push_back({slot, sim::simulatedFrameNumber(frame.data(), frame.size()), frame.size(),
                           frame.size() > 2 && frame[0] == 0xFF && frame[1] == 0xD8});
        changed_.notify_all();
        return decoderMissing_.load() ? HandOffResult::NoDecoder : HandOffResult::Done;
    }
    // An RTSP camera's packet, as far as tests need it.
    struct Packet {
        int slot;
        RtspRole role;
        bool video;
        bool key;
        int64_t pts;
        int size;
        bool subLive;
        uint64_t connection;
    };
    HandOffResult handOffPacket(int slot, const StreamPacket& p) override
    {
        std::lock_guard lock(mutex_);
        packets_.push_back({slot, p.role, p.video, (p.packet.flags & AV_PKT_FLAG_KEY) != 0, p.packet.pts,
                            p.packet.size, p.subLive, p.connection});
        changed_.notify_all();
        return HandOffResult::Done;
    }
    // Waits (bounded) until `slot` has at least n video packets of `role`; returns them.
    std::vector<Packet> waitPackets(int slot, RtspRole role, size_t n,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return packetsLocked(slot, role).size() >= n; });
        return packetsLocked(slot, role);
    }
    std::vector<Packet> packets(int slot, RtspRole role)
    {
        std::lock_guard lock(mutex_);
        return packetsLocked(slot, role);
    }

    // Later frames report a decoder that could not be set up.
    void setDecoderMissing(bool missing) { decoderMissing_ = missing; }
    void paintBlack(int slot) override
    {
        std::lock_guard lock(mutex_);
        black_.push_back(slot);
        changed_.notify_all();
    }

    // Waits (bounded) until `slot` has at least n frames; returns its frames.
    std::vector<Frame> waitFrames(int slot, size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return countLocked(slot) >= n; });
        return framesLocked(slot);
    }
    bool waitBlack(int slot, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] {
            for (int s : black_)
                if (s == slot) return true;
            return false;
        });
    }
    std::vector<Frame> frames(int slot)
    {
        std::lock_guard lock(mutex_);
        return framesLocked(slot);
    }

    std::atomic<bool> decoderMissing_{false};

private:
    size_t countLocked(int slot) const
    {
        size_t n = 0;
        for (const auto& f : frames_) n += f.slot == slot;
        return n;
    }
    std::vector<Frame> framesLocked(int slot) const
    {
        std::vector<Frame> out;
        for (const auto& f : frames_)
            if (f.slot == slot) out.push_back(f);
        return out;
    }

    std::vector<Packet> packetsLocked(int slot, RtspRole role) const
    {
        std::vector<Packet> out;
        for (const auto& p : packets_)
            if (p.slot == slot && p.role == role && p.video) out.push_back(p);
        return out;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Frame> frames_;
    std::vector<Packet> packets_;
    std::vector<int> black_;
};

}  // namespace cx::test
