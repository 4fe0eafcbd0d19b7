#pragma once
// A short H.264 or H.265 clip made by the ffmpeg program (an encoder that
// shares no code with ours) and opened with libavformat, standing in for a
// camera's stream: its demuxer context and its video packets in order.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "TempFolder.h"

namespace cx::test {

class EncodedClip {
public:
    // `source` is an ffmpeg lavfi source ("testsrc2=s=320x240:r=15",
    // "color=c=red:s=320x240:r=15"); `encoder` libx264 or libx265; a key
    // frame every `gop` frames, no B-frames (as cameras send).
    EncodedClip(const std::string& source, const std::string& encoder, int frames, int gop)
    {
        const std::filesystem::path file = folder_.path() / "clip.mkv";
        const std::string params = encoder == "libx265" ? " -x265-params log-level=none:bframes=0" : " -bf 0";
        const std::string command = "ffmpeg -v error -y -f lavfi -i '" + source + "' -frames:v " +
                                    std::to_string(frames) + " -c:v " + encoder + " -g " + std::to_string(gop) +
                                    " -keyint_min " + std::to_string(gop) + params + " -pix_fmt yuv420p '" +
                                    file.string() + "'";
        if (std::system(command.c_str()) != 0) return;
        if (avformat_open_input(&context_, file.c_str(), nullptr, nullptr) < 0) return;
        if (avformat_find_stream_info(context_, nullptr) < 0) return;
        video_ = av_find_best_stream(context_, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(context_, packet) >= 0) {
            if (packet->stream_index == video_) packets_.push_back(av_packet_clone(packet));
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    ~EncodedClip()
    {
        for (AVPacket*& p : packets_) av_packet_free(&p);
        avformat_close_input(&context_);
    }
    EncodedClip(const EncodedClip&) = delete;
    EncodedClip& operator=(const EncodedClip&) = delete;

    bool ok() const { return context_ != nullptr && video_ >= 0 && !packets_.empty(); }
    const AVFormatContext& input() const { return *context_; }
    const std::vector<AVPacket*>& packets() const { return packets_; }
    const AVPacket& packet(size_t k) const { return *packets_.at(k); }
    static bool key(const AVPacket& p) { return (p.flags & AV_PKT_FLAG_KEY) != 0; }

private:
    TempFolder folder_;
    AVFormatContext* context_ = nullptr;
    int video_ = -1;
    std::vector<AVPacket*> packets_;
};

}  // namespace cx::test
