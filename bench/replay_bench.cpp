// What a step costs when replaying a camera's stream recording: 1920x1080
// H.264 and H.265 in Matroska (numbered frames made here), read by
// VideoFileReader with pictures at the replay window's size and at full
// size. Not a test; run by hand:
//
//   cx_replay_bench
//
// Per file: the open (the packet index), a jump into the middle of a group
// of pictures, a step forward, a step back across a key frame (the group
// before decoded from its key frame) and a step back within the cache.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "VideoFileReader.h"
#include "support/NumberedVideo.h"
#include "support/TempFolder.h"

using namespace cx;
using namespace cx::test;
using Steady = std::chrono::steady_clock;

namespace {

double msSince(Steady::time_point start)
{
    return std::chrono::duration<double, std::milli>(Steady::now() - start).count();
}

double median(std::vector<double> v)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The reference: FFmpeg decoding the file straight through with as many
// frame threads as the reader uses, no conversion; ms per frame.
double straightDecodeMs(const std::filesystem::path& file)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return 0;
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
    AVCodecContext* decoder = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar);
    decoder->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    avcodec_open2(decoder, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    int frames = 0;
    const auto start = Steady::now();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) avcodec_send_packet(decoder, packet);
        av_packet_unref(packet);
        while (avcodec_receive_frame(decoder, picture) == 0) ++frames;
    }
    avcodec_send_packet(decoder, nullptr);
    while (avcodec_receive_frame(decoder, picture) == 0) ++frames;
    const double ms = msSince(start);
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames > 0 ? ms / frames : 0;
}

struct Recipe {
    const char* name;
    const char* encoder;
    const char* options;
    int gop;
    int frames;
};

}  // namespace

int main()
{
    av_log_set_level(AV_LOG_ERROR);  // the encoders' summaries
    const Recipe recipes[] = {
        {"H.264, 25 frames a group", "libx264", "preset=veryfast;g=25;keyint_min=25;sc_threshold=0;bf=0", 25, 100},
        {"H.264, 50 frames a group", "libx264", "preset=veryfast;g=50;keyint_min=50;sc_threshold=0;bf=0", 50, 150},
        {"H.265, 25 frames a group", "libx265",
         "preset=veryfast;x265-params=keyint=25:min-keyint=25:scenecut=0:bframes=0:log-level=error", 25, 100},
    };
    // The replay window's picture area, and pictures as recorded.
    const QSize windowSize(345, 211);
    TempFolder folder;
    std::printf("%u cores; 1920x1080, 25 frames a second; milliseconds, median\n",
                std::max(1u, std::thread::hardware_concurrency()));
    for (const Recipe& r : recipes) {
        const auto file = folder.path() / "bench.mkv";
        NumberedVideo video;
        video.width = 1920;
        video.height = 1080;
        video.frames = r.frames;
        video.encoder = r.encoder;
        video.options = r.options;
        if (!writeNumberedVideo(file, video)) {
            std::fprintf(stderr, "could not write %s\n", r.name);
            return 1;
        }
        std::vector<double> reference;
        for (int i = 0; i < 3; ++i) reference.push_back(straightDecodeMs(file));
        std::printf("%-26s FFmpeg decoding straight through: %.1f ms a frame\n", r.name, median(reference));
        for (const QSize size : {windowSize, QSize()}) {
            std::vector<double> open, jump, forward, backKey, backCached;
            std::vector<int64_t> decodedBack;
            // Each group's key frame after the first: jump to its middle,
            // step forward, then back to the key frame and across it.
            for (int key = r.gop; key + r.gop / 2 < r.frames; key += r.gop) {
                VideoFileReader reader;
                reader.setMaxPictureSize(size);
                auto start = Steady::now();
                if (!reader.open(file)) return 1;
                open.push_back(msSince(start));
                const int middle = key + r.gop / 2;
                start = Steady::now();
                reader.frame(middle);
                jump.push_back(msSince(start));
                for (int k = middle + 1; k < middle + 6; ++k) {
                    start = Steady::now();
                    reader.frame(k);
                    forward.push_back(msSince(start));
                }
                // A fresh reader on the key frame, as after a jump there.
                VideoFileReader back;
                back.setMaxPictureSize(size);
                back.open(file);
                back.frame(key);
                const int64_t before = back.decodedFrames();
                start = Steady::now();
                const bool right = shownNumber(back.frame(key - 1)) == key - 1;
                backKey.push_back(msSince(start));
                decodedBack.push_back(back.decodedFrames() - before);
                start = Steady::now();
                back.frame(key - 2);
                backCached.push_back(msSince(start));
                if (!right) std::fprintf(stderr, "frame %d was not its own picture\n", key - 1);
            }
            std::printf("%-26s %-10s open %6.1f  jump %6.1f  forward %5.1f  back across key %6.1f (%lld frames "
                        "decoded)  back cached %5.2f\n",
                        r.name, size.isEmpty() ? "full size" : "window", median(open), median(jump), median(forward),
                        median(backKey), static_cast<long long>(decodedBack.empty() ? 0 : decodedBack.front()),
                        median(backCached));
        }
    }
    return 0;
}
