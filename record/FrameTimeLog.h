#pragma once
// Writes the frame times file beside a recording (app/FrameTimesFile.h):
// each written frame's position and receive time go into a buffer that
// reaches the file about once a second, so the frame path makes no system
// call per frame for it and a killed process loses at most the last
// second's times (replay estimates those from the pace before them).

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "FrameTimesFile.h"

namespace cx {

class FrameTimeLog {
public:
    // Creates the file beside `recording` (a stale one of that name is
    // replaced: the recording itself is new). Null when it cannot be made;
    // the recording goes on without it and replays with estimated times.
    static std::unique_ptr<FrameTimeLog> create(const std::filesystem::path& recording);
    ~FrameTimeLog();  // writes what is buffered
    FrameTimeLog(const FrameTimeLog&) = delete;
    FrameTimeLog& operator=(const FrameTimeLog&) = delete;

    // Buffers one frame's time; writes the buffer with the first frame, then
    // once a second of frame time has passed since the last write, or when
    // it is full. Never allocates.
    void add(int64_t position, int64_t wallMs);
    // Writes what is buffered now. A write the disk refuses loses that
    // batch, never the recording.
    void flush();

    int writes() const { return writes_; }

    static constexpr int64_t batchMs = frameTimesBatchMs;
    static constexpr size_t capacity = 256;  // frames: a second of a very fast camera

private:
    explicit FrameTimeLog(int fd) : fd_(fd) {}

    int fd_;
    std::array<uint8_t, capacity * frameTimeRecordSize> buffer_{};
    size_t used_ = 0;  // records in buffer_
    int64_t end_ = frameTimesHeadSize;  // where the next batch goes
    bool wroteOnce_ = false;
    int64_t lastWriteMs_ = 0;
    int writes_ = 0;
};

}  // namespace cx
