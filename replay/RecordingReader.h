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

namespace cx {

class RecordingReader {
public:
    RecordingReader();
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Opens `file` and indexes its frames; false when it is no readable
    // recording (nothing stays open then).
    bool open(const std::filesystem::path& file);
    void close();
    bool isOpen() const;

    int frameCount() const { return static_cast<int>(positions_.size()); }
    // Sample position of frame k (15 a second) relative to the first frame.
    int64_t position(int k) const;
    // Frame k as a picture; a null image when it cannot be decoded.
    // Any k in any order: every frame of these files is a key frame, so one
    // seek and one decode are all a step costs.
    QImage frame(int k);

private:
    struct Av;
    std::unique_ptr<Av> av_;
    std::vector<int64_t> positions_;  // stream time stamps, one per whole frame
};

// 15 sample positions a second, as the recorder writes them.
inline constexpr int recordingRate = 15;

}  // namespace cx
