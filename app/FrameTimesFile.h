#pragma once
// The file beside a recording that holds the wall-clock time of each of its
// frames. A recording's positions follow the process-wide frame counter, so
// they advance with every camera's frames and tell nothing about time; this
// file does. The recorder appends to it in batches; replay reads it.
//
// Layout, little-endian: a 16-byte head ("CXFT", version 1, record size 16,
// 0), then one record per written frame in the order written: the frame's
// position in the recording (int64) and the time it was received in
// milliseconds since 1970 UTC (int64). A cut-off last record is ignored.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace cx {

struct FrameTimeRecord {
    int64_t position = 0;
    int64_t wallMs = 0;
};

inline constexpr size_t frameTimesHeadSize = 16;
// The recorder writes its times at least this often (frame time), so a
// crash loses at most the frames of one such span.
inline constexpr int64_t frameTimesBatchMs = 1000;
inline constexpr size_t frameTimeRecordSize = 16;

// "<recording>.times": the recording's whole file name with ".times" added.
std::filesystem::path frameTimesPath(const std::filesystem::path& recording);

void encodeFrameTimesHead(uint8_t* out);
void encodeFrameTimeRecord(const FrameTimeRecord& record, uint8_t* out);

// The records of `bytes`; nothing when the head is not ours.
std::optional<std::vector<FrameTimeRecord>> decodeFrameTimes(const uint8_t* bytes, size_t size);
// The records of the file beside `recording`; nothing without that file.
std::optional<std::vector<FrameTimeRecord>> readFrameTimes(const std::filesystem::path& recording);

}  // namespace cx
