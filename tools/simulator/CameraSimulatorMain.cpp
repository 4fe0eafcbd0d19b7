// cx-camsim: serves simulated cameras on 127.0.0.1 until interrupted.
//
//   cx-camsim [--seconds N] --camera KEY=VALUE,... [--camera ...]
//
// Keys: kind=snapshot|snapshot-nolength|stream|protocol|audio, port=N, path=/p,
// framing=BEFORE-AFTER (stream lines around each picture), fps=F, size=WxH,
// photos=DIR, scene=N (a drawn scene, variant N, with a running clock), auth=none|basic|digest, user=U, password=P, redirect=301|302,
// location=URL|none, fault=NAME, fault-after=N, fault-count=N, greeting=N,
// login-result=N, drip-ms=N. Faults: close-mid-frame, stall-after-headers,
// length-without-blank, length-zero, oversized-length, garbage,
// header-code-131, end-stream, stall-mid-frame, drip (with drip-ms=N),
// close-at-once, negative-length, non-numeric-length, missing-length,
// long-line, header-flood, zero-count, huge-count, non-digit-count,
// end-in-header.
// Prints one line per camera: "camera INDEX port PORT path PATH".

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>

#include "CameraSimulator.h"

using namespace cx::sim;

namespace {

volatile std::sig_atomic_t interrupted = 0;

void onSignal(int) { interrupted = 1; }

bool parseCamera(const std::string& description, CameraConfig& c, std::string& error)
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
        const std::string key = item.substr(0, eq);
        const std::string value = item.substr(eq + 1);
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
            if (std::sscanf(value.c_str(), "%dx%d", &c.width, &c.height) != 2 || c.width < 16 || c.height < 16 ||
                c.width > 4096 || c.height > 4096)
                return error = "size is WxH", false;
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
    double seconds = 0;
    CameraSimulator simulator;
    int index = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (std::strcmp(argv[i], "--camera") == 0 && i + 1 < argc) {
            CameraConfig config;
            std::string error;
            if (!parseCamera(argv[++i], config, error)) {
                std::fprintf(stderr, "cx-camsim: %s\n", error.c_str());
                return 2;
            }
            const int port = simulator.add(config);
            if (port == 0) {
                std::fprintf(stderr, "cx-camsim: cannot serve camera %d (port %d)\n", index, config.port);
                return 1;
            }
            std::printf("camera %d port %d path %s\n", index++, port, config.path.c_str());
        } else {
            std::fprintf(stderr, "usage: cx-camsim [--seconds N] --camera KEY=VALUE,... [--camera ...]\n");
            return 2;
        }
    }
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    const auto start = std::chrono::steady_clock::now();
    while (!interrupted) {
        if (seconds > 0 && std::chrono::steady_clock::now() - start > std::chrono::duration<double>(seconds)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    simulator.stop();
    return 0;
}
