#pragma once
// One open AVI file of a camera's recording: camera JPEGs and bitmaps are
// written by AviWriter, frames for another codec are encoded and muxed
// with FFmpeg's libraries.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "DecodedPicture.h"
#include "RecordingCodec.h"
#include "RecordingFile.h"
#include "Settings.h"

struct AVFormatContext;
struct AVIOContext;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace cx {

class AviWriter;
class FrameTimeLog;

// What one received frame offers the recording: its JPEG bytes, and the
// decoded picture for formats that store pixels.
struct RecordingFrame {
    std::span<const uint8_t> jpeg;
    const DecodedPicture* picture = nullptr;
    int width = 0;   // the JPEG's own size (320 x 240 when it did not decode)
    int height = 0;
    int64_t receivedMs = 0;  // wall-clock time the frame arrived, ms since 1970
};

class AviRecording {
public:
    // Positions are in units of 1/15 s; a frame every 10 positions.
    static constexpr int rate = 15;
    static constexpr int positionsPerFrame = 10;

    // Creates the file (never replacing one: a taken name gets "_2" and so
    // on, see RecordingFile). Null when it cannot be created. The video
    // stream is set up at the first frame, when the picture size is known.
    static std::shared_ptr<AviRecording> create(const std::filesystem::path& wanted, const CompressOptions& options,
                                                RecordingFile::WriteFunction write = {});
    ~AviRecording();
    AviRecording(const AviRecording&) = delete;
    AviRecording& operator=(const AviRecording&) = delete;

    const std::filesystem::path& path() const { return path_; }
    RecordingFormat format() const { return codec_.format; }
    // The frames need the decoded picture at full size.
    bool needsPixels() const { return codec_.format != RecordingFormat::Jpeg; }

    // Position in this file of the frame that took `counter` from the
    // process-wide frame counter: the file's first frame is at 0.
    int64_t positionFor(int64_t counter);

    // Appends one key frame at `position` and hands it to the system at once,
    // so a killed process loses at most the frame being written; its receive
    // time goes to the frame times file beside it (in batches). Returns
    // false when this frame is lost (no bytes, a size other than the file's
    // for bitmaps, an encoder that cannot be opened).
    bool write(const RecordingFrame& frame, int64_t position);

    int framesWritten() const { return framesWritten_; }
    // Every frame reaches the file as it is written (AviWriter's one write
    // per frame; the muxer set to flush every packet).
    bool flushesEveryPacket() const;

    // Completes the file (index, sizes). Also done by the destructor.
    void finish();

private:
    explicit AviRecording(std::unique_ptr<RecordingFile> file, RecordingCodec codec);
    bool start(int width, int height);
    bool openEncoder(int width, int height);
    bool writePacket(AVPacket* packet);
    // One frame of the file's own writer at `position`.
    bool writeToWriter(const uint8_t* data, size_t size, int64_t position);
    bool encode(const RecordingFrame& frame, int64_t position);
    bool writeFrame(const RecordingFrame& frame, int64_t position);
    void drainEncoder(bool flush);

    std::unique_ptr<RecordingFile> file_;
    std::unique_ptr<AviWriter> writer_;  // JPEG and bitmap recordings; encoded ones use libavformat
    std::unique_ptr<FrameTimeLog> times_;  // null when its file could not be made
    std::filesystem::path path_;
    RecordingCodec codec_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVCodecContext* encoder_ = nullptr;
    AVFrame* encoderFrame_ = nullptr;
    SwsContext* scaler_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool started_ = false;
    bool broken_ = false;  // the stream could not be made; frames are dropped
    bool finished_ = false;
    int width_ = 0;
    int height_ = 0;
    std::optional<int64_t> firstCounter_;
    int framesWritten_ = 0;
    std::vector<uint8_t> pixels_;
};

}  // namespace cx
