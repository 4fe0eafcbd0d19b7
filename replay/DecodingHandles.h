#pragma once
// The FFmpeg objects a recording reader holds while a file is open, freed
// together when it closes.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace cx {

struct DecodingHandles {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* scale = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* picture = nullptr;
    int stream = -1;

    DecodingHandles() = default;
    DecodingHandles(const DecodingHandles&) = delete;
    DecodingHandles& operator=(const DecodingHandles&) = delete;
    ~DecodingHandles()
    {
        sws_freeContext(scale);
        av_frame_free(&picture);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }
};

}  // namespace cx
