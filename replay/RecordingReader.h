#pragma once
// Reads the pictures of one recording (an AVI file: MJPEG or "DIB ", one
// frame at every tenth sample position, 15 positions a second), also a file
// cut off by a crash: it has an index of the frames it could read whole.
// Not thread-safe: one thread uses one reader.

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "ReplayReader.h"

namespace cx {

class RecordingReader final : public ReplayReader {
public:
    RecordingReader();
    ~RecordingReader() override;
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    bool open(const std::filesystem::path& file) override;
    void close() override;
    bool isOpen() const override;

    int frameCount() const override { return static_cast<int>(positions_.size()); }
    // Sample position of frame k (15 a second) relative to the first frame.
    int64_t position(int k) const;
    // Any k in any order: every frame of these files is a key frame, so one
    // seek and one decode are all a step costs.
    QImage frame(int k) override;
    void setMaxPictureSize(QSize size) override { maxSize_ = size; }
    // From the frame times file beside the recording, or estimated.
    RecordingTimeline timeline() const override;

private:
    struct Av;
    std::unique_ptr<Av> av_;
    std::filesystem::path file_;
    std::vector<int64_t> positions_;  // stream time stamps, one per whole frame
    QSize maxSize_;
};

// 15 sample positions a second, as the recorder writes them.
inline constexpr int recordingRate = 15;

}  // namespace cx
