#pragma once
// Reads a camera's stream as it was recorded (H.264 or H.265 in Matroska,
// or whatever else libavformat opens): key frames come only now and then,
// so frame k is decoded from the key frame at or before it. Opening indexes
// the packets (time stamp and key flag, no decoding), also of a file cut
// off by a crash: the packets it holds whole.
//
// A frame comes from the cache of recent pictures, else
//  - the frame after the last one decoded: the decoder goes on by one;
//  - any other: decoded from its key frame forward, keeping the pictures
//    before it that fit in the cache, so a step back and reverse play cost
//    one run from the key frame per cache-full of frames.
// The cache holds at most `cacheBytes` of pictures (or the one asked for,
// if larger), those nearest the frame asked for last. The player bounds the
// pictures' size to its window (setMaxPictureSize), so the default holds
// over 200 of them; full 1080p pictures (8 MB each) it holds 8.
// Not thread-safe: one thread uses one reader.

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "ReplayReader.h"

namespace cx {

class VideoFileReader final : public ReplayReader {
public:
    static constexpr size_t defaultCacheBytes = size_t{64} << 20;

    explicit VideoFileReader(size_t cacheBytes = defaultCacheBytes);
    ~VideoFileReader() override;
    VideoFileReader(const VideoFileReader&) = delete;
    VideoFileReader& operator=(const VideoFileReader&) = delete;

    bool open(const std::filesystem::path& file) override;
    void close() override;
    bool isOpen() const override;
    int frameCount() const override { return static_cast<int>(frameStamps_.size()); }
    QImage frame(int k) override;
    // Empties the cache when the size changes.
    void setMaxPictureSize(QSize size) override;
    // Times from the file's creation time plus the frames' time stamps.
    RecordingTimeline timeline() const override;

    bool isKeyFrame(int k) const;
    // The wall time of the first frame (ms since 1970) from the file's
    // creation time, when it has one.
    std::optional<int64_t> creationMs() const { return creationMs_; }
    // Pictures the decoder has delivered since the file opened, and the
    // bytes the cache holds: what a step cost, for tests and measurements.
    int64_t decodedFrames() const { return decoded_; }
    size_t cachedBytes() const { return cachedBytes_; }

private:
    struct Av;
    struct Packet {
        int64_t stamp;      // presentation time stamp, stream time base
        int64_t seekStamp;  // what seeking goes by: the decode time stamp where there is one
        int64_t pos;        // byte offset in the file, -1 unknown
        bool key;
    };

    bool continuesTo(int k, int start) const;
    bool startAt(int packet);
    bool decodeUntil(int k);
    bool feedNext();
    bool readStreamPacket();
    int packetWithStamp(int64_t stamp, int from) const;
    int frameWithStamp(int64_t stamp) const;
    void keep(int j, int target);
    void clearCache();

    const size_t cacheBytes_;
    std::unique_ptr<Av> av_;
    std::filesystem::path file_;
    std::vector<Packet> packets_;                    // decode order, from the first key frame
    std::vector<std::pair<int64_t, int>> byStamp_;   // (stamp, packet), sorted
    std::vector<int64_t> frameStamps_;               // display order: sorted, unique
    std::vector<int> packetOf_;                      // frame -> its packet
    std::vector<int> startOf_;                       // frame -> the key packet its decoding starts at
    std::optional<int64_t> creationMs_;
    QSize maxSize_;

    // The decoder's run: fed from key packet runStart_ on without a gap.
    bool live_ = false;
    bool draining_ = false;  // fed everything; what it still holds comes out
    bool held_ = false;      // packet nextPacket_ is read and waits to be fed
    int runStart_ = -1;
    int nextPacket_ = 0;
    int lastOutput_ = -1;  // the frame it delivered last

    std::map<int, QImage> cache_;
    size_t cachedBytes_ = 0;
    int64_t decoded_ = 0;
};

}  // namespace cx
