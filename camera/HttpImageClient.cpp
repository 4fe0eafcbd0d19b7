#include "HttpImageClient.h"
#include "AsciiLower.h"

#include <algorithm>
#include <cctype>

#include "AppState.h"
#include "FrameSink.h"
#include "HttpStream.h"
#include "MjpegStreamReader.h"
#include "ReusedBuffer.h"
#include "TextToInt.h"

namespace cx {

bool FindLocation(const std::string& headers, std::string& location)
{
    const size_t at = asciiLower(headers).find("location:");
    if (at == std::string::npos) return false;
    // The label and the one character after it.
    location = at + 10 <= headers.size() ? headers.substr(at + 10) : std::string();
    const size_t lf = location.find('\n');
    if (lf != std::string::npos && lf > 0) location.resize(lf);
    while (!location.empty() && (location.back() == '\r' || location.back() == ' ')) location.pop_back();
    location.erase(0, location.find_first_not_of(' '));
    return true;
}

bool SplitUrl(const std::string& url, UrlParts& parts)
{
    std::string rest = url;
    const size_t scheme = rest.find("://");
    if (scheme != std::string::npos) rest = rest.substr(scheme + 3);
    if (rest.empty() || rest[0] == '/') return false;
    const size_t slash = rest.find('/');
    std::string authority = rest.substr(0, slash);
    parts.path = slash == std::string::npos ? "/" : rest.substr(slash);
    const size_t atSign = authority.rfind('@');
    if (atSign != std::string::npos) authority = authority.substr(atSign + 1);
    const size_t colon = authority.rfind(':');
    parts.port = 80;
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || !std::all_of(port.begin(), port.end(), [](unsigned char c) { return std::isdigit(c); }))
            return false;
        parts.port = textToInt(port);
        if (parts.port <= 0 || parts.port > 65535) return false;
        authority.resize(colon);
    }
    if (authority.empty() || authority.find_first_of(" \t\r\n") != std::string::npos) return false;
    parts.host = authority;
    return true;
}

HttpRequest CameraRequest(const CameraEntry& camera, const std::string& host, int port, const std::string& path,
                          const HttpTimeouts& timeouts)
{
    HttpRequest request;
    request.host = host;
    request.port = port;
    request.path = path;
    request.login = camera.login;
    request.password = camera.password;
    request.headers = {acceptLine, userAgentLine};
    request.connectTimeoutMs = timeouts.connectTimeoutMs;
    request.connectBackoffMs = timeouts.connectBackoffMs;
    request.connectRetries = timeouts.connectRetries;
    request.readTimeoutMs = timeouts.readTimeoutMs;
    return request;
}

HttpImageClient::HttpImageClient(AppState& state, FrameSink& sink, HttpTimeouts timeouts,
                                 std::function<bool()> stopRequested)
    : state_(state),
      sink_(sink),
      timeouts_(timeouts),
      stopRequested_(std::move(stopRequested)),
      stream_([this] { return cancelled(); })
{
}

bool HttpImageClient::cancelled() const
{
    return stopRequested_ && stopRequested_();
}

LoadResult HttpImageClient::LoadPictureData(const std::string& host, int port, const std::string& path, int slot,
                                            CameraType code)
{
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return {};
    return LoadPictureData(CameraRequest(*camera, host, port, path, timeouts_), slot, code);
}

LoadResult HttpImageClient::LoadPictureData(const HttpRequest& request, int slot, CameraType code)
{
    const LoadResult result = load(request, slot, code);
    // A stream's connection, or a snapshot's that failed, is not kept
    // through the back-off (a camera may serve few clients); a snapshot
    // camera's good connection is, for its next picture.
    const bool snapshot = acquisitionMethod(code) == AcquisitionMethod::Snapshot;
    if (!snapshot || result.end != LoadEnd::Done || result.status != 200) stream_.endTransfer();
    return result;
}

LoadResult HttpImageClient::load(const HttpRequest& request, int slot, CameraType code)
{
    LoadResult result;
    if (!validSlot(slot)) return result;
    const auto i = static_cast<size_t>(slot);
    const bool snapshot = acquisitionMethod(code) == AcquisitionMethod::Snapshot;

    HttpStream& stream = stream_;
    result.status = stream.open(request);
    if (cancelled()) {
        result.end = LoadEnd::Stopped;
        return result;
    }
    if (result.status == 0) return result;  // Failed

    if (result.status == 301 || result.status == 302 || result.status == 303) {
        // Followed once, and the redirected answer's body is not read: the
        // next call asks the configured path again.
        std::string location;
        UrlParts target;
        if (!FindLocation(stream.headers(), location) || !SplitUrl(location, target)) {
            result.status = 0;
            return result;
        }
        stream.close();
        HttpRequest moved = request;
        moved.host = target.host;
        moved.port = target.port;
        moved.path = target.path;
        moved.headers = {acceptLine};
        HttpStream second([this] { return cancelled(); });
        result.status = second.open(moved);
        result.end = result.status == 0 ? LoadEnd::Failed : LoadEnd::Done;
        return result;
    }
    if (result.status != 200) {
        result.end = LoadEnd::Done;
        return result;
    }

    if (snapshot) return readSnapshot(slot, code, result);

    MjpegStreamReader reader(stream, streamFraming(code), buffers_);
    for (;;) {
        if (cancelled()) {
            result.end = LoadEnd::Stopped;
            return result;
        }
        const StreamFrame frame = reader.next();
        switch (frame.kind) {
        case StreamFrame::Kind::Skipped: continue;
        case StreamFrame::Kind::End: result.end = LoadEnd::Ended; return result;
        case StreamFrame::Kind::Failed:
            if (frame.result == ReadResult::Cancelled) continue;  // the check above ends it
            result.status = 0;
            result.end = LoadEnd::Failed;
            return result;
        case StreamFrame::Kind::Frame: break;
        }
        state_.imageSize[i] = static_cast<int>(frame.bytes.size());
        ++state_.framesReceived[i];
        ++result.frames;
        if (frame.picture) ++result.pictures;
        if (sink_.handOff(slot, frame.bytes) == HandOffResult::NoDecoder) {
            result.end = LoadEnd::NoDecoder;
            return result;
        }
        if (frame.picture && frameArrived) frameArrived(slot);
    }
}

LoadResult HttpImageClient::readSnapshot(int slot, CameraType code, LoadResult result)
{
    const auto i = static_cast<size_t>(slot);
    // Models 400 and 800 send a fixed size; the others announce one. A
    // missing or implausible length reads the body to its end, growing the
    // buffer as bytes arrive instead of reserving the maximum. The buffer
    // keeps its size between snapshots.
    const long long announced = stream_.contentLength();
    const bool fixedSize = readsFixedSnapshotSize(code);
    const bool knownLength = !fixedSize && announced >= 0 && announced <= maxFrameBytes;
    std::vector<uint8_t>& frame = snapshotBuffer_;
    size_t got = 0;
    ReadResult r = ReadResult::Ok;
    if (fixedSize || knownLength) {
        const size_t size = fixedSize ? fixedSnapshotBytes : static_cast<size_t>(announced);
        reserveFor(frame, size);
        frame.resize(size);
        r = stream_.readBytes(frame.data(), frame.size(), got);
    } else {
        constexpr size_t chunk = 256 * 1024;
        while (r == ReadResult::Ok && got < static_cast<size_t>(maxFrameBytes)) {
            if (frame.size() < got + chunk) {
                reserveFor(frame, got + chunk);
                frame.resize(got + chunk);
            }
            size_t n = 0;
            r = stream_.readBytes(frame.data() + got, chunk, n);
            got += n;
        }
    }
    const bool pastLimit = !fixedSize && !knownLength && r == ReadResult::Ok;  // body longer than any picture
    const size_t expected = fixedSize || knownLength ? frame.size() : got;
    if (r == ReadResult::Cancelled || r == ReadResult::Error || r == ReadResult::TimedOut || got == 0 || pastLimit ||
        (knownLength && got < expected)) {
        result.status = 0;  // torn or empty picture: nothing is handed on
        result.end = cancelled() ? LoadEnd::Stopped : LoadEnd::Failed;
        return result;
    }
    const std::span<const uint8_t> picture(frame.data(), got);
    state_.imageSize[i] = static_cast<int>(got);
    ++state_.framesReceived[i];
    result.frames = 1;
    result.pictures = got >= 2 && picture[0] == 0xFF && picture[1] == 0xD8 ? 1 : 0;
    result.end = sink_.handOff(slot, picture) == HandOffResult::NoDecoder ? LoadEnd::NoDecoder : LoadEnd::Done;
    return result;
}

}  // namespace cx
