#include "MjpegStreamReader.h"

#include <string>

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
    const long long value = textToInt(line.substr(blank + 1));
    if (value <= 0 || value > maxFrameBytes) return 0;
    return static_cast<size_t>(value);
}

ReadResult MjpegStreamReader::readLine(std::string& line, size_t maxLength)
{
    const ReadResult r = body_.readLine(line, maxLength);
    if (r != ReadResult::Ok) return r;
    junkBytes_ += line.size() + 2;
    return junkBytes_ > maxJunkBytes ? ReadResult::Error : ReadResult::Ok;
}

ReadResult MjpegStreamReader::readLines(int count, std::string* last)
{
    std::string line;
    for (int i = 0; i < count; ++i) {
        const ReadResult r = readLine(line);
        if (r != ReadResult::Ok) return r;
    }
    if (last) *last = std::move(line);
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

    int linesBefore = framing_.linesBeforeLength;
    if (resync_ && linesBefore > 0) {
        std::string line;
        int looked = 0;
        for (;;) {
            const ReadResult r = readLine(line, 4096);
            if (r != ReadResult::Ok) return fail(r);
            if (line.size() >= 2 && line[0] == '-' && line[1] == '-') break;
            if (++looked > maxResyncLines) return fail(ReadResult::Error);
        }
        --linesBefore;  // the boundary was the first of them
    }
    resync_ = false;

    std::string lengthLine;
    ReadResult r = readLines(linesBefore, nullptr);
    if (r == ReadResult::Ok) r = readLine(lengthLine);
    if (r == ReadResult::Ok) r = readLines(1, nullptr);
    if (r != ReadResult::Ok) return fail(r);

    const size_t length = frameLengthFromLine(lengthLine);
    if (length == 0) {
        // Picture bytes may follow an unusable length line: find the next
        // boundary before counting lines again.
        resync_ = true;
        frame.kind = StreamFrame::Kind::Skipped;
        return frame;
    }

    size_t got = 0;
    r = body_.appendBytes(frame.bytes, length, got);
    if (r != ReadResult::Ok || got != length) {
        frame.bytes.clear();
        return fail(r == ReadResult::Ok ? ReadResult::End : r);
    }
    r = readLines(framing_.linesAfterImage, nullptr);
    if (r != ReadResult::Ok && r != ReadResult::End) {
        frame.bytes.clear();
        return fail(r);
    }
    // A picture starts with the JPEG start marker; anything else the camera
    // calls a frame is still handed on, but counts as junk.
    frame.picture = length >= 2 && frame.bytes[0] == 0xFF && frame.bytes[1] == 0xD8;
    if (frame.picture) {
        junkBytes_ = 0;
    } else {
        junkBytes_ += length;
        if (junkBytes_ > maxJunkBytes) {
            frame.bytes.clear();
            return fail(ReadResult::Error);
        }
    }
    frame.kind = StreamFrame::Kind::Frame;
    return frame;
}

}  // namespace cx
