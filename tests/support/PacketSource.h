#pragma once
// A camera's stream as the RTSP demuxer hands it over: a short clip made by
// the ffmpeg command (H.264 or H.265 with the parameter sets in every key
// frame, maybe a sound track), read back with libavformat. Frame k of the
// clip has presentation time k / rate; its packets are kept in file order.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "support/Ffprobe.h"
#include "support/TempFolder.h"

namespace cx::test {

struct ClipRecipe {
    std::string video = "libx264";  // or "libx265"
    int width = 160;
    int height = 120;
    int frames = 30;
    int keyEvery = 10;    // a key frame every this many frames
    int bFrames = 0;      // reordered frames between references (libx264 only)
    std::string audio;    // "" none, "aac", "pcm_mulaw", "pcm_alaw"
    static constexpr int rate = 25;

    ClipRecipe withVideo(std::string codec) const { return with([&](ClipRecipe& c) { c.video = std::move(codec); }); }
    ClipRecipe withSize(int w, int h) const { return with([&](ClipRecipe& c) { c.width = w, c.height = h; }); }
    ClipRecipe withFrames(int n) const { return with([&](ClipRecipe& c) { c.frames = n; }); }
    ClipRecipe withBFrames(int n) const { return with([&](ClipRecipe& c) { c.bFrames = n; }); }
    ClipRecipe withAudio(std::string codec) const { return with([&](ClipRecipe& c) { c.audio = std::move(codec); }); }
    template <typename Change>
    ClipRecipe with(Change change) const
    {
        ClipRecipe c = *this;
        change(c);
        return c;
    }

    std::string key() const
    {
        std::ostringstream k;
        k << video << '_' << width << 'x' << height << '_' << frames << '_' << keyEvery << '_' << bFrames << '_'
          << (audio.empty() ? "silent" : audio);
        return k.str();
    }
};

// The clip's file, made once per recipe: in CX_CLIP_FOLDER when the build
// names one (kept for the next test process: each test runs in its own),
// else once per process in a temporary folder.
inline std::filesystem::path clipFile(const ClipRecipe& recipe)
{
#ifdef CX_CLIP_FOLDER
    static const std::filesystem::path folder = CX_CLIP_FOLDER;
    std::filesystem::create_directories(folder);
#else
    static TempFolder temporary;
    static const std::filesystem::path folder = temporary.path();
#endif
    static std::map<std::string, std::filesystem::path> made;
    const std::string key = recipe.key();
    if (const auto found = made.find(key); found != made.end()) return found->second;
    std::ostringstream command;
    command << "ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=size=" << recipe.width << 'x' << recipe.height
            << ":rate=" << ClipRecipe::rate;
    if (!recipe.audio.empty()) command << " -f lavfi -i sine=frequency=440:sample_rate=8000";
    command << " -frames:v " << recipe.frames;
    if (recipe.video == "libx265") {
        command << " -c:v libx265 -preset ultrafast -x265-params log-level=error:keyint=" << recipe.keyEvery
                << ":min-keyint=" << recipe.keyEvery << ":scenecut=0:bframes=0:repeat-headers=1";
    } else {
        command << " -c:v libx264 -preset ultrafast -g " << recipe.keyEvery << " -keyint_min " << recipe.keyEvery
                << " -sc_threshold 0 -bf " << recipe.bFrames << " -x264-params repeat-headers=1";
    }
    if (!recipe.audio.empty())
        command << " -c:a " << recipe.audio << " -ar 8000 -ac 1 -t " << static_cast<double>(recipe.frames) / ClipRecipe::rate;
    // Named by the command too: a changed command makes a new clip.
    const std::string name = key + "_" + std::to_string(std::hash<std::string>{}(command.str()) % 1000000007);
    const std::filesystem::path file = folder / (name + ".nut");
    if (std::filesystem::exists(file)) return made[key] = file;
    // Made under a name of its own and renamed: test processes running at
    // once never read half a clip.
    const std::filesystem::path part = folder / (name + "." + std::to_string(::getpid()) + ".part.nut");
    command << " '" << part.string() << "' 2>&1";
    const std::string output = runCommand(command.str());
    std::error_code ec;
    std::filesystem::rename(part, file, ec);
    if (ec) {
        std::fprintf(stderr, "ffmpeg could not make %s: %s\n", file.c_str(), output.c_str());
        std::abort();
    }
    return made[key] = file;
}

// One connection to the "camera": its demuxer and every packet it gave.
class PacketSource {
public:
    explicit PacketSource(const ClipRecipe& recipe) : PacketSource(clipFile(recipe)) {}
    explicit PacketSource(const std::filesystem::path& file) : file_(file)
    {
        if (avformat_open_input(&input_, file.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(input_, nullptr) < 0)
            std::abort();
        video_ = av_find_best_stream(input_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        for (;;) {
            AVPacket* p = av_packet_alloc();
            if (av_read_frame(input_, p) < 0) {
                av_packet_free(&p);
                break;
            }
            packets_.push_back(p);
        }
    }
    ~PacketSource()
    {
        for (AVPacket*& p : packets_) av_packet_free(&p);
        avformat_close_input(&input_);
    }
    PacketSource(const PacketSource&) = delete;
    PacketSource& operator=(const PacketSource&) = delete;

    const AVFormatContext& input() const { return *input_; }
    AVFormatContext& input() { return *input_; }
    const std::filesystem::path& file() const { return file_; }
    const std::vector<AVPacket*>& packets() const { return packets_; }
    int videoStream() const { return video_; }
    bool isVideo(const AVPacket& p) const { return p.stream_index == video_; }
    // The frame a video packet carries, counted from the clip's first.
    int frameNumber(const AVPacket& p) const
    {
        const AVStream* s = input_->streams[video_];
        return static_cast<int>(av_rescale_q(p.pts - (s->start_time != AV_NOPTS_VALUE ? s->start_time : 0),
                                             s->time_base, AVRational{1, ClipRecipe::rate}));
    }
    // Milliseconds after the first picture at which the packet is due (the
    // encoder's first sound may come a little before).
    int64_t dueMs(const AVPacket& p) const
    {
        const AVStream* s = input_->streams[p.stream_index];
        const AVStream* v = input_->streams[video_];
        const int64_t t = p.pts != AV_NOPTS_VALUE ? p.pts : p.dts;
        const int64_t origin = v->start_time != AV_NOPTS_VALUE ? v->start_time : 0;
        return av_rescale_q(t, s->time_base, AVRational{1, 1000}) -
               av_rescale_q(origin, v->time_base, AVRational{1, 1000});
    }

private:
    std::filesystem::path file_;
    AVFormatContext* input_ = nullptr;
    std::vector<AVPacket*> packets_;
    int video_ = -1;
};

// A digest of each decoded video frame in order, by the ffmpeg command: the
// same pictures in the same order give the same list, whatever container.
inline std::vector<std::string> frameDigests(const std::filesystem::path& file)
{
    // A clip's pictures never change: decoded once, the digests kept beside it.
    const bool clip = file.extension() == ".nut";
    const std::filesystem::path kept = file.string() + ".digests";
    if (clip && std::filesystem::exists(kept)) {
        std::ifstream in(kept);
        std::vector<std::string> digests;
        for (std::string line; std::getline(in, line);) digests.push_back(line);
        return digests;
    }
    std::istringstream lines(runCommand("ffmpeg -v error -nostdin -i '" + file.string() +
                                        "' -map 0:v:0 -fps_mode passthrough -f framemd5 - 2>/dev/null"));
    std::vector<std::string> digests;
    std::string line;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') continue;
        const auto comma = line.rfind(',');
        if (comma != std::string::npos) digests.push_back(line.substr(comma + 1));
    }
    if (clip && !digests.empty()) {
        const std::filesystem::path part = kept.string() + "." + std::to_string(::getpid());
        {
            std::ofstream out(part);
            for (const std::string& d : digests) out << d << '\n';
        }
        std::error_code ec;
        std::filesystem::rename(part, kept, ec);
    }
    return digests;
}

}  // namespace cx::test
