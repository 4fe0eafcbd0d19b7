#include "VideoDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace cx {

VideoDecoder::VideoDecoder() = default;

VideoDecoder::~VideoDecoder()
{
    release();
    sws_freeContext(scaler_);
}

void VideoDecoder::release()
{
    avcodec_free_context(&codec_);
    av_frame_free(&frame_);
    stream_ = -1;
    connection_ = 0;
    waitingForKey_ = true;
    ready_ = false;
}

bool VideoDecoder::setUp(const AVCodecParameters& codecParameters, int stream)
{
    release();
    const AVCodecParameters* parameters = &codecParameters;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) return false;
    codec_ = avcodec_alloc_context3(decoder);
    frame_ = av_frame_alloc();
    if (codec_ == nullptr || frame_ == nullptr || avcodec_parameters_to_context(codec_, parameters) < 0) {
        release();
        return false;
    }
    // One thread per camera: sixteen cameras already fill the cores, and
    // frame threads would hold every picture back by a frame per thread.
    codec_->thread_count = 1;
    // Pictures out as they come, unless the stream reorders them (B-frames).
    if (parameters->video_delay == 0) codec_->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(codec_, decoder, nullptr) < 0) {
        release();
        return false;
    }
    stream_ = stream;
    return true;
}

void VideoDecoder::skip()
{
    waitingForKey_ = true;
    ready_ = false;
}

bool VideoDecoder::decode(const AVCodecParameters& parameters, uint64_t connection, const AVPacket& packet,
                          QSize drawSize)
{
    if (connection != connection_ || packet.stream_index != stream_ || codec_ == nullptr) {
        if (!setUp(parameters, packet.stream_index)) return false;
        connection_ = connection;
    }
    if (waitingForKey_) {
        if ((packet.flags & AV_PKT_FLAG_KEY) == 0) return false;
        avcodec_flush_buffers(codec_);
        waitingForKey_ = false;
    }
    if (avcodec_send_packet(codec_, &packet) < 0) {
        // A damaged packet: the next key frame puts the decoder right.
        waitingForKey_ = true;
        return false;
    }
    ++decodes_;
    bool got = false;
    while (avcodec_receive_frame(codec_, frame_) == 0) {
        const int width = frame_->width;
        const int height = frame_->height;
        if (width <= 0 || height <= 0) continue;
        const QSize size = drawSize.isEmpty() ? QSize(width, height) : drawSize;
        scaler_ = sws_getCachedContext(scaler_, width, height, static_cast<AVPixelFormat>(frame_->format),
                                       size.width(), size.height(), AV_PIX_FMT_BGRA, SWS_FAST_BILINEAR, nullptr,
                                       nullptr, nullptr);
        if (scaler_ == nullptr) continue;
        // The pixels are kept while the size stays: no allocation per picture.
        if (picture_.pixels.size() != size) picture_.pixels = QImage(size, QImage::Format_RGB32);
        uint8_t* planes[1] = {picture_.pixels.bits()};
        const int strides[1] = {static_cast<int>(picture_.pixels.bytesPerLine())};
        sws_scale(scaler_, frame_->data, frame_->linesize, 0, height, planes, strides);
        picture_.width = width;
        picture_.height = height;
        got = true;
    }
    if (got) ready_ = true;
    return got;
}

}  // namespace cx
