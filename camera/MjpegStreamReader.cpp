#include "MjpegStreamReader.h"

#include <string>

#include "ReusedBuffer.h"
#include "TextToInt.h"

namespace cx {

namespace {
// Lines looked at while searching the next boundary before the stream counts as broken.
constexpr int maxResyncLines = 100000;
}

size_t frameLengthFromLine(const std::string& line)
{
    const size_t blank = line.find(' ');
    if (blank == std::string::npos || blank == 0) return 0;
    // textToInt saturates at INT_MAX, above maxFrameBytes: no overflow path.
    const long long value = textToInt(std::string_view(line).substr(blank + 1));
    if (value <= 0 || value > maxFrameBytes) return 0;
    return static_cast<size_t>(value);
}

ReadResult MjpegStreamReader::readLine(size_t maxLength)
{
    const ReadResult r = body_.readLine(buffers_.line, maxLength);
    if (r != ReadResult::Ok) return r;
    junkBytes_ += buffers_.line.size() + 2;
    return junkBytes_ > maxJunkBytes ? ReadResult::Error : ReadResult::Ok;
}

ReadResult MjpegStreamReader::readLines(int count)
{
    for (int i = 0; i < count; ++i) {
        const ReadResult r = readLine();
        if (r != ReadResult::Ok) return r;
    }
    return ReadResult::Ok;
}

StreamFrame MjpegStreamReader::next()
{
    StreamFrame frame;
    auto fail = [&](ReadResult r) {
        frame.kind = r == ReadResult::End ? StreamFrame::Kind::End : StreamFrame::Kind::Failed;
        frame.result = r;
        return frame;
    };

    body_.release();  // the previous frame's bytes are no longer needed
    int linesBefore = framing_.linesBeforeLength;
    if (resync_ && linesBefore > 0) {
        const std::string& line = buffers_.line;
        int looked = 0;
        for (;;) {
            const ReadResult r = readLine(4096);
            if (r != ReadResult::Ok) return fail(r);
            if (line.size() >= 2 && line[0] == '-' && line[1] == '-') break;
            if (++looked > maxResyncLines) return fail(ReadResult::Error);
        }
        --linesBefore;  // the boundary was the first of them
    }
    resync_ = false;

    ReadResult r = readLines(linesBefore);
    size_t length = 0;
    if (r == ReadResult::Ok) r = readLine();
    if (r == ReadResult::Ok) {
        length = frameLengthFromLine(buffers_.line);
        r = readLines(1);
    }
    if (r != ReadResult::Ok) return fail(r);

    if (length == 0) {
        // Picture bytes may follow an unusable length line: find the next
        // boundary before counting lines again.
        resync_ = true;
        frame.kind = StreamFrame::Kind::Skipped;
        return frame;
    }

    // The picture stays where it was received when the reader can keep it
    // there (no copy); else it is copied into the frame buffer, which keeps
    // its capacity. Either way nothing is allocated once a camera runs.
    const bool lending = body_.canLend(length);
    size_t lentAt = 0;
    if (lending) {
        r = body_.lend(length, lentAt);
        if (r != ReadResult::Ok) return fail(r);
    } else {
        buffers_.frame.clear();
        reserveFor(buffers_.frame, length);
        size_t got = 0;
        r = body_.appendBytes(buffers_.frame, length, got);
        if (r != ReadResult::Ok || got != length) return fail(r == ReadResult::Ok ? ReadResult::End : r);
    }
    r = readLines(framing_.linesAfterImage);
    if (r != ReadResult::Ok && r != ReadResult::End) return fail(r);
    const std::span<const uint8_t> bytes =
        lending ? body_.lent(lentAt, length) : std::span<const uint8_t>(buffers_.frame.data(), length);
    // A picture starts with the JPEG start marker; anything else the camera
    // calls a frame is still handed on, but counts as junk.
    frame.picture = length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8;
    if (frame.picture) {
        junkBytes_ = 0;
    } else {
        junkBytes_ += length;
        if (junkBytes_ > maxJunkBytes) return fail(ReadResult::Error);
    }
    frame.bytes = bytes;
    frame.kind = StreamFrame::Kind::Frame;
    return frame;
}

}  // namespace cx
