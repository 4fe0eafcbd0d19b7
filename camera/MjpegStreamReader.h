#pragma once
// Frames of a multipart JPEG stream, announced by a few text lines each:
// some lines, a "Content-Length: N" line, one more line, N picture bytes,
// and a few lines after them, as many as the camera model uses.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "BodyReader.h"
#include "CameraModels.h"

namespace cx {

// Announced lengths above this are treated as missing (nothing allocated).
inline constexpr long long maxFrameBytes = 32LL * 1024 * 1024;
// Text and non-picture bytes a stream may send between two pictures before
// it counts as broken (a flood of header lines, a line of megabytes): the
// worker then connects again after its back-off instead of spinning.
inline constexpr size_t maxJunkBytes = 256 * 1024;

// The byte count of a length line: the decimal value after its first
// blank; 0 when it has no blank, starts with one, or announces nothing
// usable (0, negative or above maxFrameBytes).
size_t frameLengthFromLine(const std::string& line);

// What a stream reader reads into. A worker owns one for the camera's
// whole run, so its buffers grow to the largest frame seen and are reused:
// no allocation per frame.
struct StreamBuffers {
    std::vector<uint8_t> frame;
    std::string line;
};

struct StreamFrame {
    enum class Kind {
        Frame,    // `bytes` holds one picture
        Skipped,  // no usable length: the frame is skipped, the stream goes on
        End,      // the body ended (also in the middle of a frame)
        Failed,   // read error, time-out or cancel (see `result`)
    };
    Kind kind = Kind::End;
    std::span<const uint8_t> bytes;  // in the reader's buffers, valid until its next call
    bool picture = false;  // a Frame that starts with the JPEG start marker
    ReadResult result = ReadResult::Ok;
};

class MjpegStreamReader {
public:
    // Reads into `buffers`, which outlive the reader (a worker's own).
    MjpegStreamReader(BodyReader& body, StreamFraming framing, StreamBuffers& buffers)
        : body_(body), framing_(framing), buffers_(buffers)
    {
    }
    // Reads into buffers of its own (tests, fuzzing).
    MjpegStreamReader(BodyReader& body, StreamFraming framing) : MjpegStreamReader(body, framing, own_) {}
    MjpegStreamReader(const MjpegStreamReader&) = delete;
    MjpegStreamReader& operator=(const MjpegStreamReader&) = delete;

    // Reads the next frame. After a skipped frame the reader looks for the
    // next boundary line ("--...") before it counts lines again, so picture
    // bytes that followed an unusable length line do not shift the framing.
    // More than maxJunkBytes of lines and non-picture frames since the last
    // picture fail the stream (`result` Error).
    StreamFrame next();

private:
    ReadResult readLines(int count);
    ReadResult readLine(size_t maxLength = 65536);

    BodyReader& body_;
    StreamFraming framing_;
    StreamBuffers own_;
    StreamBuffers& buffers_;
    bool resync_ = false;
    size_t junkBytes_ = 0;  // read since the last picture
};

}  // namespace cx
