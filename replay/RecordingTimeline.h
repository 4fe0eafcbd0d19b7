#pragma once
// When each frame of a recording was received. The recording's positions
// follow a frame counter shared by every camera, so they say nothing about
// time; the frame times file beside the recording does (FrameTimesFile.h).
// Frames it lacks (the last second before a crash) are estimated from the
// pace of the frames before them; a file without it (older recordings,
// other programs' files) is estimated from its name plus its positions at
// 15 a second. Estimated frames are marked as such. A file that keeps each
// frame's time stamp and the wall time of its first frame (a camera's own
// stream) needs neither.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "FrameTimesFile.h"

namespace cx {

class RecordingTimeline {
public:
    RecordingTimeline() = default;
    // `positions`: each frame's sample position relative to the first
    // frame, as the reader found them; `times`: the frame times file's
    // records, if there is one; `nameStartMs`: the start the file name
    // gives, if it gives one.
    RecordingTimeline(const std::vector<int64_t>& positions, const std::optional<std::vector<FrameTimeRecord>>& times,
                      std::optional<int64_t> nameStartMs);
    // The same for the recording at `file`, reading its frame times file.
    static RecordingTimeline load(const std::filesystem::path& file, const std::vector<int64_t>& positions);
    // A file with a time stamp per frame: `stampsMs`, each frame's in ms
    // from the first frame's; `firstFrameMs`, the wall time the file gives
    // its first frame (then every time is recorded), else the start in its
    // name places the stamps in the day, as an estimate.
    static RecordingTimeline fromTimeStamps(const std::vector<int64_t>& stampsMs, std::optional<int64_t> firstFrameMs,
                                            std::optional<int64_t> nameStartMs);

    int frameCount() const { return static_cast<int>(wallMs_.size()); }
    // Milliseconds since 1970 the frame was received (or is estimated at).
    int64_t wallMs(int k) const;
    bool estimated(int k) const;
    // False when neither the frame times nor the name tell the time of day.
    bool timeOfDayKnown() const { return timeOfDayKnown_; }
    // The recording has a frame times file.
    bool hasFrameTimes() const { return hasFrameTimes_; }

    // Milliseconds from the first frame, never less than any frame's before
    // it (a clock set back while recording does not run the slider back).
    int64_t offsetMs(int k) const;
    int64_t durationMs() const { return offsets_.empty() ? 0 : offsets_.back(); }
    // The frame on screen `offset` ms after the first: the last one at or
    // before it.
    int frameAt(int64_t offset) const;

    // How long frame `from` stays before `to` replaces it at normal speed:
    // the time between them, a gap in the recording (the camera was away)
    // held for at most `maxHoldMs`.
    int64_t holdMs(int from, int to) const;
    static constexpr int64_t maxHoldMs = 2000;

private:
    void setOffsets();

    std::vector<int64_t> wallMs_;
    std::vector<uint8_t> estimated_;
    std::vector<int64_t> offsets_;
    bool timeOfDayKnown_ = false;
    bool hasFrameTimes_ = false;
};

}  // namespace cx
