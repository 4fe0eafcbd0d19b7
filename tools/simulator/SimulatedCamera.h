#pragma once
// What one simulated camera serves and how it misbehaves.

#include <cstdint>
#include <filesystem>
#include <string>

namespace cx::sim {

enum class CameraKind {
    Snapshot,        // one JPEG per GET, with Content-Length
    SnapshotNoLength,  // one JPEG per GET, body ends with the connection
    Stream,          // multipart MJPEG with length lines
    Protocol,        // the binary camera protocol
    Audio,           // an endless audio body (lines of samples)
};

enum class Auth { None, Basic, Digest };

enum class Fault {
    None,
    CloseMidFrame,     // drop the connection halfway through a frame's bytes
    StallAfterHeaders, // send the response headers, then nothing
    LengthWithoutBlank,  // "Content-Length:N"
    LengthZero,        // "Content-Length: 0"
    OversizedLength,   // announce far more bytes than any frame
    Garbage,           // random bytes instead of a frame's lines
    HeaderCode131,     // binary protocol: a header with code 131
    EndStream,         // the stream ends normally after the fault frames
    StallMidFrame,     // send half a frame, then nothing
    Drip,              // stream: send the frame's bytes one at a time, a byte every dripMs
    CloseAtOnce,       // close every connection as soon as it is accepted
    NegativeLength,    // stream: "Content-Length: -5"
    NonNumericLength,  // stream: "Content-Length: abc"
    MissingLength,     // stream: no length line at all
    LongLine,          // stream: megabytes of text without a line end
    HeaderFlood,       // stream: header lines that never end
    ZeroCount,         // binary protocol: a header announcing 00000000 bytes
    HugeCount,         // binary protocol: a header announcing 99999999 bytes
    NonDigitCount,     // binary protocol: a header whose count holds letters
    EndInHeader,       // binary protocol: the connection ends inside a header
    HugeLength,        // snapshot: announce 10^15 bytes, send none
    HugeLengthWithFrame,  // snapshot: announce 10^15 bytes, send a normal frame
};

struct CameraConfig {
    CameraKind kind = CameraKind::Stream;
    int port = 0;                 // 0: any free port
    std::string path = "/";       // HTTP path served (any other path gets 404)
    int linesBefore = 2;          // stream framing: lines before the length line
    int linesAfter = 1;           // stream framing: lines after the picture
    double fps = 0;               // 0: as fast as possible
    int width = 320;
    int height = 240;
    std::filesystem::path photos; // serve these JPEG files instead of generated frames
    int scene = 0;                // 1 and up: a drawn street scene (this variant) with a running clock
    Auth auth = Auth::None;
    std::string user;
    std::string password;
    int redirect = 0;             // 301/302: answer every request with it
    bool redirectLocation = true; // with a Location header
    std::string location;         // where it points (absolute URL); empty: this camera's path
    Fault fault = Fault::None;
    int faultAfter = 0;           // good frames before the fault (stream: per connection)
    int faultCount = 1;           // frames the fault applies to
    int greeting = 121;           // binary protocol greeting code
    int loginResult = 301;        // binary protocol login result (when credentials match or none set)
    int dripMs = 1000;            // Drip: pause between two bytes
};

}  // namespace cx::sim
