#include "KeyFrameJpeg.h"

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <turbojpeg.h>

namespace cx {

namespace {

struct CodecDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct ScalerDeleter {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct JpegDeleter {
    void operator()(void* h) const { tjDestroy(h); }
};

}  // namespace

std::vector<uint8_t> keyFrameJpeg(const AVFormatContext& input, const AVPacket& packet)
{
    if ((packet.flags & AV_PKT_FLAG_KEY) == 0) return {};
    if (packet.stream_index < 0 || packet.stream_index >= static_cast<int>(input.nb_streams)) return {};
    const AVCodecParameters* parameters = input.streams[packet.stream_index]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) return {};
    const std::unique_ptr<AVCodecContext, CodecDeleter> codec(avcodec_alloc_context3(decoder));
    const std::unique_ptr<AVFrame, FrameDeleter> frame(av_frame_alloc());
    if (!codec || !frame || avcodec_parameters_to_context(codec.get(), parameters) < 0) return {};
    codec->thread_count = 1;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return {};
    if (avcodec_send_packet(codec.get(), &packet) < 0) return {};
    avcodec_send_packet(codec.get(), nullptr);  // no more: the key frame comes out now
    if (avcodec_receive_frame(codec.get(), frame.get()) != 0) return {};

    const int width = frame->width;
    const int height = frame->height;
    const std::unique_ptr<SwsContext, ScalerDeleter> scaler(
        sws_getContext(width, height, static_cast<AVPixelFormat>(frame->format), width, height, AV_PIX_FMT_RGB24,
                       SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) return {};
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint8_t* planes[1] = {rgb.data()};
    const int strides[1] = {width * 3};
    sws_scale(scaler.get(), frame->data, frame->linesize, 0, height, planes, strides);

    const std::unique_ptr<void, JpegDeleter> jpeg(tjInitCompress());
    if (!jpeg) return {};
    unsigned char* out = nullptr;
    unsigned long size = 0;
    if (tjCompress2(jpeg.get(), rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0) != 0) {
        tjFree(out);
        return {};
    }
    std::vector<uint8_t> bytes(out, out + size);
    tjFree(out);
    return bytes;
}

}  // namespace cx
