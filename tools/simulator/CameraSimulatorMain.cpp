// cx-camsim: serves simulated cameras on 127.0.0.1 until interrupted.
//
//   cx-camsim [--seconds N] --camera KEY=VALUE,... [--camera ...]
//
// Keys: kind=snapshot|snapshot-nolength|stream|protocol|audio|rtsp, port=N, path=/p,
// framing=BEFORE-AFTER (stream lines around each picture), fps=F, size=WxH,
// photos=DIR, scene=N (a drawn scene, variant N, with a running clock), auth=none|basic|digest, user=U, password=P, redirect=301|302,
// location=URL|none, fault=NAME, fault-after=N, fault-count=N, greeting=N,
// login-result=N, drip-ms=N. Faults: close-mid-frame, stall-after-headers,
// length-without-blank, length-zero, oversized-length, garbage,
// header-code-131, end-stream, stall-mid-frame, drip (with drip-ms=N),
// close-at-once, negative-length, non-numeric-length, missing-length,
// long-line, header-flood, zero-count, huge-count, non-digit-count,
// end-in-header.
//
// kind=rtsp serves an RTSP camera (GStreamer's RTSP server) with these keys:
//   codec=h264|h265 (h264), size=WxH main stream (1280x720, even numbers),
//   fps=F (15), gop=N frames from one key frame to the next (two seconds'
//   worth), bitrate=K kbit/s (none: the encoder's constant quality),
//   path=/p main stream (/main), sub-size=WxH adds a sub stream at
//   sub-path=/p (/sub), scene=N or photos=DIR (one photo per key frame
//   interval) or generated pictures, auth=none|basic|digest with user= and
//   password= (a wrong or missing credential answers 401, another path
//   404), audio=1 (a 400 Hz tone, PCMU, on the main stream), prerecorded=1
//   (one key frame interval encoded at start and looped: frame numbers go
//   0 ... gop-1 over and over), fault=never-answer|stall-after-setup|garbage,
//   or fault=drop with fault-after=N (every connection's stream ends after
//   N frames, the connection a second later). Each connection's stream
//   starts with a key frame and frame number 0; every picture carries its
//   number as a frame code (FrameCode.h). The printed path is the main
//   stream's; the sub stream is always at sub-path.
//
// Prints one line per camera: "camera INDEX port PORT path PATH".

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "CameraSimulator.h"
#include "RtspSimulator.h"

using namespace cx::sim;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

using Items = std::vector<std::pair<std::string, std::string>>;

// "KEY=VALUE,KEY=VALUE" into its pairs.
bool splitItems(const std::string& description, Items& items, std::string& error)
{
    size_t start = 0;
    while (start < description.size()) {
        size_t end = description.find(',', start);
        if (end == std::string::npos) end = description.size();
        const std::string item = description.substr(start, end - start);
        start = end + 1;
        const size_t eq = item.find('=');
        if (eq == std::string::npos) {
            error = "expected KEY=VALUE: " + item;
            return false;
        }
        items.emplace_back(item.substr(0, eq), item.substr(eq + 1));
    }
    return true;
}

bool isRtsp(const Items& items)
{
    for (const auto& [key, value] : items)
        if (key == "kind") return value == "rtsp";
    return false;
}

bool parseSize(const std::string& value, int& width, int& height)
{
    return std::sscanf(value.c_str(), "%dx%d", &width, &height) == 2 && width >= 16 && height >= 16 && width <= 4096 &&
           height <= 4096;
}

bool parseRtspCamera(const Items& items, RtspCameraConfig& c, std::string& error)
{
    static const std::map<std::string, RtspFault> faults = {{"none", RtspFault::None},
                                                           {"never-answer", RtspFault::NeverAnswer},
                                                           {"stall-after-setup", RtspFault::StallAfterSetup},
                                                           {"drop", RtspFault::Drop},
                                                           {"garbage", RtspFault::Garbage}};
    for (const auto& [key, value] : items) {
        const int number = std::atoi(value.c_str());
        if (key == "kind") continue;
        else if (key == "port") c.port = number;
        else if (key == "codec") {
            if (value != "h264" && value != "h265") return error = "codec is h264 or h265", false;
            c.codec = value == "h264" ? VideoCodec::H264 : VideoCodec::H265;
        } else if (key == "size" || key == "sub-size") {
            int& width = key == "size" ? c.width : c.subWidth;
            int& height = key == "size" ? c.height : c.subHeight;
            // Chroma is halved both ways, and the frame code needs room.
            if (!parseSize(value, width, height) || width < 64 || height < 64 || width % 2 != 0 || height % 2 != 0)
                return error = key + " is WxH, even numbers from 64 to 4096", false;
        } else if (key == "fps") {
            c.fps = std::atof(value.c_str());
            if (!(c.fps > 0 && c.fps <= 120)) return error = "fps is above 0 and at most 120", false;
        } else if (key == "gop") {
            if (number < 1) return error = "gop is 1 or more frames", false;
            c.gop = number;
        } else if (key == "bitrate") c.bitrateKbps = number;
        else if (key == "path") c.path = value;
        else if (key == "sub-path") c.subPath = value;
        else if (key == "scene") c.scene = number;
        else if (key == "photos") c.photos = value;
        else if (key == "auth") c.auth = value == "basic" ? Auth::Basic : value == "digest" ? Auth::Digest : Auth::None;
        else if (key == "user") c.user = value;
        else if (key == "password") c.password = value;
        else if (key == "audio") c.audio = number != 0;
        else if (key == "prerecorded") c.prerecorded = number != 0;
        else if (key == "fault") {
            if (!faults.count(value)) return error = "unknown rtsp fault " + value, false;
            c.fault = faults.at(value);
        } else if (key == "fault-after") c.faultAfter = number;
        else return error = "unknown key for kind=rtsp: " + key, false;
    }
    if (c.path.empty() || c.path[0] != '/' || c.subPath.empty() || c.subPath[0] != '/')
        return error = "path and sub-path start with /", false;
    return true;
}

bool parseCamera(const Items& items, CameraConfig& c, std::string& error)
{
    static const std::map<std::string, CameraKind> kinds = {{"snapshot", CameraKind::Snapshot},
                                                           {"snapshot-nolength", CameraKind::SnapshotNoLength},
                                                           {"stream", CameraKind::Stream},
                                                           {"protocol", CameraKind::Protocol},
                                                           {"audio", CameraKind::Audio}};
    static const std::map<std::string, Fault> faults = {
        {"none", Fault::None},
        {"close-mid-frame", Fault::CloseMidFrame},
        {"stall-after-headers", Fault::StallAfterHeaders},
        {"length-without-blank", Fault::LengthWithoutBlank},
        {"length-zero", Fault::LengthZero},
        {"oversized-length", Fault::OversizedLength},
        {"garbage", Fault::Garbage},
        {"header-code-131", Fault::HeaderCode131},
        {"end-stream", Fault::EndStream},
        {"stall-mid-frame", Fault::StallMidFrame},
        {"drip", Fault::Drip},
        {"close-at-once", Fault::CloseAtOnce},
        {"negative-length", Fault::NegativeLength},
        {"non-numeric-length", Fault::NonNumericLength},
        {"missing-length", Fault::MissingLength},
        {"long-line", Fault::LongLine},
        {"header-flood", Fault::HeaderFlood},
        {"zero-count", Fault::ZeroCount},
        {"huge-count", Fault::HugeCount},
        {"non-digit-count", Fault::NonDigitCount},
        {"end-in-header", Fault::EndInHeader},
    };
    for (const auto& [key, value] : items) {
        const int number = std::atoi(value.c_str());
        if (key == "kind") {
            if (!kinds.count(value)) return error = "unknown kind " + value, false;
            c.kind = kinds.at(value);
        } else if (key == "port") c.port = number;
        else if (key == "path") c.path = value;
        else if (key == "framing") {
            if (std::sscanf(value.c_str(), "%d-%d", &c.linesBefore, &c.linesAfter) != 2)
                return error = "framing is BEFORE-AFTER", false;
        } else if (key == "fps") c.fps = std::atof(value.c_str());
        else if (key == "size") {
            if (!parseSize(value, c.width, c.height)) return error = "size is WxH", false;
        } else if (key == "photos") c.photos = value;
        else if (key == "scene") c.scene = number;
        else if (key == "auth") c.auth = value == "basic" ? Auth::Basic : value == "digest" ? Auth::Digest : Auth::None;
        else if (key == "user") c.user = value;
        else if (key == "password") c.password = value;
        else if (key == "redirect") c.redirect = number;
        else if (key == "location") {
            if (value == "none") c.redirectLocation = false;
            else c.location = value;
        } else if (key == "fault") {
            if (!faults.count(value)) return error = "unknown fault " + value, false;
            c.fault = faults.at(value);
        } else if (key == "fault-after") c.faultAfter = number;
        else if (key == "fault-count") c.faultCount = number;
        else if (key == "greeting") c.greeting = number;
        else if (key == "login-result") c.loginResult = number;
        else if (key == "drip-ms") c.dripMs = number;
        else return error = "unknown key " + key, false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // Seen between cameras too: a prerecorded camera takes a moment to encode.
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    double seconds = 0;
    CameraSimulator simulator;
    std::unique_ptr<RtspSimulator> rtsp;  // made for the first RTSP camera only
    int index = 0;
    for (int i = 1; i < argc && !interrupted; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--camera") == 0 && i + 1 < argc) {
            Items items;
            std::string error;
            if (!splitItems(argv[++i], items, error)) {
                std::fprintf(stderr, "cx-camsim: %s\n", error.c_str());
                return 2;
            }
            int port = 0;
            std::string path;
            if (isRtsp(items)) {
                RtspCameraConfig config;
                if (!parseRtspCamera(items, config, error)) {
                    std::fprintf(stderr, "cx-camsim: %s\n", error.c_str());
                    return 2;
                }
                if (rtsp == nullptr) rtsp = std::make_unique<RtspSimulator>();
                port = rtsp->add(config, error);
                if (port == 0) {
                    std::fprintf(stderr, "cx-camsim: cannot serve camera %d: %s\n", index, error.c_str());
                    return 1;
                }
                path = config.path;
            } else {
                CameraConfig config;
                if (!parseCamera(items, config, error)) {
                    std::fprintf(stderr, "cx-camsim: %s\n", error.c_str());
                    return 2;
                }
                port = simulator.add(config);
                if (port == 0) {
                    std::fprintf(stderr, "cx-camsim: cannot serve camera %d (port %d)\n", index, config.port);
                    return 1;
                }
                path = config.path;
            }
            std::printf("camera %d port %d path %s\n", index++, port, path.c_str());
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "usage: cx-camsim [--seconds N] --camera KEY=VALUE,... [--camera ...]\n");
            return 2;
        }
    }
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    while (!interrupted) {
        if (seconds > 0 && std::chrono::steady_clock::now() - start > std::chrono::duration<double>(seconds)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    simulator.stop();
    if (rtsp != nullptr) rtsp->stop();
    return 0;
}
