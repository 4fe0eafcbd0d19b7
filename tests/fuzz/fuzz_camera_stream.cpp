// What a camera sends is untrusted: multipart streams, protocol headers,
// redirect answers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "BodyReader.h"
#include "HttpImageClient.h"
#include "MjpegStreamReader.h"
#include "ProtocolCamera.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte picks the framing, the rest is the body.
    const cx::StreamFraming framings[] = {{2, 1}, {2, 2}, {4, 0}};
    cx::MemoryBodyReader body(data + 1, size - 1);
    cx::MjpegStreamReader reader(body, framings[data[0] % 3]);
    for (int k = 0; k < 1000; ++k) {
        const cx::StreamFrame f = reader.next();
        if (f.kind == cx::StreamFrame::Kind::Frame && f.bytes.size() > static_cast<size_t>(cx::maxFrameBytes))
            __builtin_trap();
        if (f.kind == cx::StreamFrame::Kind::End || f.kind == cx::StreamFrame::Kind::Failed) break;
    }

    if (size >= cx::IMAGE_HEADER_LENGTH) {
        const cx::ImageHeader h = cx::parseImageHeader(data);
        if (h.size > 99999999) __builtin_trap();  // eight decimal digits at most
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string location;
    cx::UrlParts parts;
    if (cx::FindLocation(text, location) && cx::SplitUrl(location, parts)) {
        if (parts.port <= 0 || parts.port > 65535 || parts.host.empty()) __builtin_trap();
    }
    return 0;
}
