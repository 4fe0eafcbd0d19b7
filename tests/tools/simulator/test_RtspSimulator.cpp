// The simulator's RTSP cameras (cx-camsim kind=rtsp) as independent clients
// see them: ffprobe for codecs, sizes and refusals, ffmpeg for the frames
// and their codes, and a few raw RTSP requests for what those programs
// cannot show (a PLAY never answered, silence, noise). 127.0.0.1 only.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "FrameCode.h"
#include "FrameSource.h"
#include "support/Ffprobe.h"
#include "support/SimulatorProcess.h"
#include "support/TempFolder.h"

using cx::test::runCommand;
using cx::test::SimulatorProcess;

namespace {

using Clock = std::chrono::steady_clock;

std::string url(int port, const std::string& path, const std::string& credentials = "")
{
    return "rtsp://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" + std::to_string(port) + path;
}

// ffprobe's lines for the streams of `address` ("h264,640,360", "pcm_mulaw"),
// or its error lines when it fails.
std::vector<std::string> probe(const std::string& address, const std::string& transport = "tcp")
{
    std::istringstream out(runCommand("timeout -k 1 10 ffprobe -v error -analyzeduration 100000 -rtsp_transport " +
                                      transport + " -show_entries stream=codec_name,width,height -of csv=p=0 '" +
                                      address + "' 2>&1"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

bool mentions(const std::vector<std::string>& lines, const std::string& text)
{
    for (const auto& line : lines)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// What ffmpeg decodes from a stream: up to the frames asked for, luma only.
struct Decoded {
    std::vector<std::vector<uint8_t>> frames;
    bool timedOut = false;  // it was still waiting when its time ran out
};

// Up to `frames` luma pictures of width x height that ffmpeg decodes from
// `address` (fewer when the stream ends first).
Decoded decodeFrames(const std::string& address, const std::string& transport, int frames, int width, int height)
{
    const std::string command = "timeout -k 1 15 ffmpeg -v error -rtsp_transport " + transport + " -i '" + address +
                                "' -frames:v " + std::to_string(frames) + " -f rawvideo -pix_fmt gray - 2>/dev/null";
    Decoded out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    std::vector<uint8_t> luma(static_cast<size_t>(width) * height);
    while (std::fread(luma.data(), 1, luma.size(), pipe) == luma.size()) out.frames.push_back(luma);
    const int status = ::pclose(pipe);
    out.timedOut = WIFEXITED(status) && WEXITSTATUS(status) == 124;
    return out;
}

using Codes = std::vector<std::optional<uint32_t>>;

std::vector<std::optional<uint32_t>> codesOf(const Decoded& decoded, int width, int height)
{
    std::vector<std::optional<uint32_t>> codes;
    for (const auto& luma : decoded.frames) codes.push_back(cx::sim::readFrameCode(luma.data(), width, height, width));
    return codes;
}

// The frame codes of what decodeFrames gives.
std::vector<std::optional<uint32_t>> decodeCodes(const std::string& address, const std::string& transport, int frames,
                                                 int width, int height)
{
    return codesOf(decodeFrames(address, transport, frames, width, height), width, height);
}

// Runs every client at once (each gets a stream of its own) and gives
// their results in order: the tests wait for the slowest, not the sum.
template <class Result>
std::vector<Result> together(const std::vector<std::function<Result()>>& clients)
{
    std::vector<std::future<Result>> running;
    for (const auto& client : clients) running.push_back(std::async(std::launch::async, client));
    std::vector<Result> results;
    for (auto& r : running) results.push_back(r.get());
    return results;
}

std::vector<std::optional<uint32_t>> numbersFrom(uint32_t first, int count, uint32_t cycle = cx::sim::frameCodeModulus)
{
    std::vector<std::optional<uint32_t>> out;
    for (int i = 0; i < count; ++i) out.emplace_back((first + static_cast<uint32_t>(i)) % cycle);
    return out;
}

// A raw RTSP connection: requests one at a time, and whatever else arrives.
class RtspTalk {
public:
    explicit RtspTalk(int port)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RtspTalk() { ::close(fd_); }
    RtspTalk(const RtspTalk&) = delete;
    RtspTalk& operator=(const RtspTalk&) = delete;

    bool connected() const { return connected_; }
    bool closedByPeer() const { return closed_; }

    void send(const std::string& bytes) { (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL); }

    // The response (head and body) to a request, or "" when none came within `waitMs`.
    std::string ask(const std::string& method, const std::string& target, const std::string& headers = "",
                    int waitMs = 8000)
    {
        send(method + " " + target + " RTSP/1.0\r\nCSeq: " + std::to_string(++cseq_) + "\r\n" + headers + "\r\n");
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const size_t end = buffer_.find("\r\n\r\n");
            if (end != std::string::npos) {
                const size_t length = std::strtoul(header(buffer_.substr(0, end + 2), "Content-Length").c_str(), nullptr, 10);
                if (buffer_.size() >= end + 4 + length) {
                    std::string response = buffer_.substr(0, end + 4 + length);
                    buffer_.erase(0, response.size());
                    return response;
                }
            }
            if (!receive(deadline)) return "";
        }
    }

    // Whatever arrives within `waitMs`, up to `enough` bytes.
    std::string readFor(int waitMs, size_t enough)
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        while (buffer_.size() < enough && receive(deadline)) {
        }
        return std::exchange(buffer_, std::string());
    }

    // A header's value in a response ("" when it has none).
    static std::string header(const std::string& response, const std::string& name)
    {
        const size_t at = response.find("\r\n" + name + ":");
        if (at == std::string::npos) return "";
        const size_t start = response.find_first_not_of(' ', at + name.size() + 3);
        return response.substr(start, response.find("\r\n", start) - start);
    }

private:
    bool receive(Clock::time_point deadline)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, static_cast<size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    int cseq_ = 0;
    std::string buffer_;
};

// OPTIONS, DESCRIBE and SETUP (RTP over the connection) as a client sends
// them; the session to PLAY, or "" when any of them went wrong.
std::string setUp(RtspTalk& talk, const std::string& address)
{
    if (talk.ask("OPTIONS", address).rfind("RTSP/1.0 200", 0) != 0) return "";
    const std::string description = talk.ask("DESCRIBE", address, "Accept: application/sdp\r\n");
    if (description.rfind("RTSP/1.0 200", 0) != 0) return "";
    const size_t video = description.find("m=video");
    const size_t control = description.find("a=control:", video);
    if (video == std::string::npos || control == std::string::npos) return "";
    const std::string track = description.substr(control + 10, description.find("\r\n", control) - control - 10);
    std::string base = RtspTalk::header(description, "Content-Base");
    if (base.empty()) base = address + "/";
    const std::string setup = talk.ask("SETUP", track.rfind("rtsp://", 0) == 0 ? track : base + track,
                                       "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
    if (setup.rfind("RTSP/1.0 200", 0) != 0) return "";
    const std::string session = RtspTalk::header(setup, "Session");
    return session.substr(0, session.find(';'));
}

// The exit status of `pid` when it ends by itself within `waitMs` (a
// limit for a hang, not a measure of speed), else nothing: then it is killed.
std::optional<int> exitWithin(pid_t pid, int waitMs)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    int status = 0;
    do {
        if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < deadline);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return std::nullopt;
}

// cx-camsim with `arguments`, its output thrown away.
pid_t spawnCamsim(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), CX_CAMSIM);
    std::vector<char*> argv;
    for (auto& a : arguments) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Streams of each codec: main and sub over TCP and UDP have the codec and
// size asked for, and decode into consecutive frame numbers from 0.
struct Codec {
    const char* key;     // cx-camsim's codec=
    const char* probed;  // ffprobe's name for it
};
class RtspCodec : public ::testing::TestWithParam<Codec> {};

TEST_P(RtspCodec, MainAndSubStreamsCarryTheirCodecSizeAndNumberedFrames)
{
    const std::string codec = GetParam().probed;
    SimulatorProcess camsim(CX_CAMSIM, {std::string("kind=rtsp,codec=") + GetParam().key + ",size=640x360,sub-size=320x180,fps=30,scene=1"});
    ASSERT_EQ(camsim.ports.size(), 1u);
    const int port = camsim.ports[0];
    using Lines = std::vector<std::string>;
    const auto probes = together<Lines>({[&] { return probe(url(port, "/main"), "tcp"); },
                                         [&] { return probe(url(port, "/sub"), "tcp"); },
                                         [&] { return probe(url(port, "/main"), "udp"); },
                                         [&] { return probe(url(port, "/sub"), "udp"); }});
    EXPECT_EQ(probes[0], Lines{codec + ",640,360"}) << "main, tcp";
    EXPECT_EQ(probes[1], Lines{codec + ",320,180"}) << "sub, tcp";
    EXPECT_EQ(probes[2], Lines{codec + ",640,360"}) << "main, udp";
    EXPECT_EQ(probes[3], Lines{codec + ",320,180"}) << "sub, udp";
    const auto codes = together<Codes>({[&] { return decodeCodes(url(port, "/main"), "tcp", 30, 640, 360); },
                                        [&] { return decodeCodes(url(port, "/sub"), "udp", 30, 320, 180); }});
    EXPECT_EQ(codes[0], numbersFrom(0, 30)) << "main, tcp";
    EXPECT_EQ(codes[1], numbersFrom(0, 30)) << "sub, udp";
}

INSTANTIATE_TEST_SUITE_P(RtspSimulator, RtspCodec, ::testing::Values(Codec{"h264", "h264"}, Codec{"h265", "hevc"}),
                         [](const auto& info) { return std::string(info.param.key); });

TEST(RtspSimulator, PrerecordedCamerasLoopOneKeyFrameInterval)
{
    // Two cameras showing the same share one loop.
    const std::string camera = "kind=rtsp,prerecorded=1,gop=10,size=640x360,sub-size=320x180,fps=30,scene=2";
    SimulatorProcess camsim(CX_CAMSIM, {camera, camera, "kind=rtsp,prerecorded=1,gop=6,size=320x240,fps=30,codec=h265"});
    ASSERT_EQ(camsim.ports.size(), 3u);
    const auto& ports = camsim.ports;
    const auto codes = together<Codes>({[&] { return decodeCodes(url(ports[0], "/main"), "tcp", 25, 640, 360); },
                                        [&] { return decodeCodes(url(ports[1], "/sub"), "udp", 25, 320, 180); },
                                        [&] { return decodeCodes(url(ports[2], "/main"), "tcp", 15, 320, 240); }});
    EXPECT_EQ(codes[0], numbersFrom(0, 25, 10));
    EXPECT_EQ(codes[1], numbersFrom(0, 25, 10));
    EXPECT_EQ(codes[2], numbersFrom(0, 15, 6));
}

TEST(RtspSimulator, PhotosChangeAtKeyFramesScaledToTheStream)
{
    // Three plain photos of different sizes: red, green, blue.
    cx::test::TempFolder photos;
    const struct {
        const char* name;
        int width, height;
        uint8_t r, g, b;
    } files[] = {{"a.jpg", 400, 300, 230, 20, 20}, {"b.jpg", 200, 100, 20, 230, 20}, {"c.jpeg", 640, 480, 20, 20, 230}};
    for (const auto& f : files) {
        std::vector<uint8_t> rgb;
        for (int i = 0; i < f.width * f.height; ++i) rgb.insert(rgb.end(), {f.r, f.g, f.b});
        const auto jpeg = cx::sim::encodeJpeg(rgb, f.width, f.height);
        std::ofstream(photos.path() / f.name, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()),
                                                                     static_cast<std::streamsize>(jpeg.size()));
    }
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30,gop=4,photos=" + photos.path().string()});
    ASSERT_EQ(camsim.ports.size(), 1u);
    const auto frames = decodeFrames(url(camsim.ports[0], "/main"), "tcp", 12, 320, 240).frames;
    ASSERT_EQ(frames.size(), 12u);
    const int expectedLuma[] = {70, 145, 40};  // red, green and blue in video levels, roughly
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(cx::sim::readFrameCode(frames[i].data(), 320, 240, 320), i);
        // The photo fills the picture down to its last row.
        const int corner = frames[i][239 * 320 + 300];
        EXPECT_NEAR(corner, expectedLuma[i / 4], 20) << "frame " << i;
    }
}

TEST(RtspSimulator, AudioTrackRidesOnTheMainStreamOnly)
{
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,sub-size=160x120,fps=30,audio=1"});
    ASSERT_EQ(camsim.ports.size(), 1u);
    using Lines = std::vector<std::string>;
    const auto probes = together<Lines>({[&] { return probe(url(camsim.ports[0], "/main")); },
                                         [&] { return probe(url(camsim.ports[0], "/sub"), "udp"); }});
    EXPECT_EQ(probes[0], (Lines{"h264,320,240", "pcm_mulaw"}));
    EXPECT_EQ(probes[1], Lines{"h264,160,120"});
}

TEST(RtspSimulator, CredentialsAndPathsAreChecked)
{
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30,auth=basic,user=admin,password=secret",
                                        "kind=rtsp,size=320x240,fps=30,auth=digest,user=admin,password=secret,path=/live"});
    ASSERT_EQ(camsim.ports.size(), 2u);
    struct Case {
        int camera;
        std::string path, credentials, expected;
    };
    const Case cases[] = {
        {0, "/main", "admin:secret", "h264,320,240"},
        {0, "/main", "admin:wrong", "401"},
        {0, "/main", "", "401"},
        {0, "/elsewhere", "admin:secret", "404"},
        {1, "/live", "admin:secret", "h264,320,240"},
        {1, "/live", "admin:wrong", "401"},
        {1, "/live", "someone:secret", "401"},
        {1, "/live", "", "401"},
        {1, "/main", "admin:secret", "404"},
    };
    std::vector<std::function<std::vector<std::string>()>> clients;
    for (const Case& c : cases)
        clients.push_back([&] { return probe(url(camsim.ports[static_cast<size_t>(c.camera)], c.path, c.credentials)); });
    const auto probes = together(clients);
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_TRUE(mentions(probes[i], c.expected)) << "camera " << c.camera << " " << c.path << " as '" << c.credentials
                                                     << "': " << ::testing::PrintToString(probes[i]);
    }
    SimulatorProcess open(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30"});
    EXPECT_TRUE(mentions(probe(url(open.ports.at(0), "/other")), "404"));
}

TEST(RtspSimulator, DropClosesEveryConnectionAfterItsFrames)
{
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30,fault=drop,fault-after=12"});
    ASSERT_EQ(camsim.ports.size(), 1u);
    const std::string transports[] = {"tcp", "tcp", "udp"};
    std::vector<std::function<Decoded()>> clients;
    for (const auto& transport : transports)
        clients.push_back([&] { return decodeFrames(url(camsim.ports[0], "/main"), transport, 100, 320, 240); });
    const auto decoded = together(clients);
    for (size_t i = 0; i < decoded.size(); ++i) {
        EXPECT_EQ(codesOf(decoded[i], 320, 240), numbersFrom(0, 12)) << transports[i];
        EXPECT_FALSE(decoded[i].timedOut) << transports[i];
    }
    // Not only the stream ends: the connection goes too.
    RtspTalk talk(camsim.ports[0]);
    const std::string address = url(camsim.ports[0], "/main");
    const std::string session = setUp(talk, address);
    ASSERT_FALSE(session.empty());
    ASSERT_EQ(talk.ask("PLAY", address, "Session: " + session + "\r\n").rfind("RTSP/1.0 200", 0), 0u);
    const std::string media = talk.readFor(10000, std::string::npos);
    EXPECT_TRUE(talk.closedByPeer());
    EXPECT_GT(media.size(), 1000u);
}

TEST(RtspSimulator, StallAfterSetupAnswersEverythingButPlay)
{
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30", "kind=rtsp,size=320x240,fps=30,fault=stall-after-setup"});
    ASSERT_EQ(camsim.ports.size(), 2u);
    for (size_t camera : {0u, 1u}) {
        const std::string address = url(camsim.ports[camera], "/main");
        RtspTalk talk(camsim.ports[camera]);
        const std::string session = setUp(talk, address);
        ASSERT_FALSE(session.empty()) << "camera " << camera;
        // The stalled camera is given two seconds to answer.
        const std::string play =
            talk.ask("PLAY", address, "Session: " + session + "\r\nRange: npt=0.000-\r\n", camera == 0 ? 8000 : 2000);
        if (camera == 0) {
            EXPECT_EQ(play.rfind("RTSP/1.0 200", 0), 0u) << play;
            EXPECT_EQ(talk.readFor(8000, 1).substr(0, 1), "$") << "media follows PLAY";
        } else {
            EXPECT_EQ(play, "");
            EXPECT_EQ(talk.readFor(500, 1), "") << "no media either";
            EXPECT_FALSE(talk.closedByPeer());
        }
    }
}

TEST(RtspSimulator, NeverAnswerAndGarbageFaults)
{
    SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fault=never-answer", "kind=rtsp,size=320x240,fault=garbage"});
    ASSERT_EQ(camsim.ports.size(), 2u);
    RtspTalk silent(camsim.ports[0]);
    RtspTalk noisy(camsim.ports[1]);
    ASSERT_TRUE(silent.connected());
    ASSERT_TRUE(noisy.connected());
    const std::string options = "OPTIONS " + url(camsim.ports[0], "/main") + " RTSP/1.0\r\nCSeq: 1\r\n\r\n";
    silent.send(options);
    noisy.send(options);
    const std::string noise = noisy.readFor(5000, 4096);
    EXPECT_EQ(silent.readFor(2000, 1), "");
    EXPECT_FALSE(silent.closedByPeer()) << "the connection stays open";
    EXPECT_GE(noise.size(), 4096u);
    EXPECT_EQ(noise.find("RTSP/1.0"), std::string::npos);
}

TEST(RtspSimulator, EndsCleanlyOnSignalsAndAfterItsSeconds)
{
    {
        SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=640x360,sub-size=320x180,fps=30,audio=1"});
        ASSERT_EQ(camsim.ports.size(), 1u);
        // A client in the middle of playing.
        RtspTalk talk(camsim.ports[0]);
        const std::string address = url(camsim.ports[0], "/main");
        const std::string session = setUp(talk, address);
        ASSERT_FALSE(session.empty());
        ASSERT_EQ(talk.ask("PLAY", address, "Session: " + session + "\r\n").rfind("RTSP/1.0 200", 0), 0u);
        ::kill(camsim.pid, SIGTERM);
        EXPECT_EQ(exitWithin(camsim.pid, 10000), 0);
        camsim.pid = -1;
    }
    {
        SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30,prerecorded=1"});
        ASSERT_EQ(camsim.ports.size(), 1u);
        RtspTalk talk(camsim.ports[0]);
        ASSERT_FALSE(setUp(talk, url(camsim.ports[0], "/main")).empty());
        ::kill(camsim.pid, SIGINT);
        EXPECT_EQ(exitWithin(camsim.pid, 10000), 0);
        camsim.pid = -1;
    }
    {
        SimulatorProcess camsim(CX_CAMSIM, {"kind=rtsp,size=320x240,fps=30"}, {"--seconds", "1"});
        ASSERT_EQ(camsim.ports.size(), 1u);
        EXPECT_EQ(exitWithin(camsim.pid, 12000), 0);
        camsim.pid = -1;
    }
}

TEST(RtspSimulator, RefusesKeysItCannotServe)
{
    struct Case {
        std::string camera;
        int exitCode;
    };
    const Case cases[] = {
        {"kind=rtsp,codec=vp8", 2},
        {"kind=rtsp,size=641x360", 2},
        {"kind=rtsp,sub-size=32x32", 2},
        {"kind=rtsp,fps=0", 2},
        {"kind=rtsp,gop=0", 2},
        {"kind=rtsp,fault=explode", 2},
        {"kind=rtsp,path=main", 2},
        {"kind=rtsp,framing=2-1", 2},
        {"kind=rtsp,fault=drop", 1},
        {"kind=rtsp,sub-size=320x180,sub-path=/main", 1},
        {"kind=rtsp,photos=/nonexistent", 1},
    };
    std::vector<pid_t> runs;
    for (const Case& c : cases) runs.push_back(spawnCamsim({"--seconds", "1", "--camera", c.camera}));
    for (size_t i = 0; i < runs.size(); ++i) {
        int status = -1;
        ::waitpid(runs[i], &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == cases[i].exitCode) << cases[i].camera << ": status " << status;
    }
}

}  // namespace
