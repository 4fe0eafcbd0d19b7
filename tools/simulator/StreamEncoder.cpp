#include "StreamEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include <mutex>

// LeakSanitizer (the sanitizer build) reads this: libx265 keeps a little of
// every encoder it opens (a kilobyte and some strings), and GLib what its
// library constructor made (its stack ends in GLib, which keeps no frame
// pointers); neither is ours to free.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\nleak:libglib-2.0.so\n";
}

namespace cx::sim {

StreamEncoder::StreamEncoder(VideoCodec codec, int width, int height, double fps, int keyInterval, int bitrateKbps)
{
    // The encoders' statistics would bury the simulator's own lines.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    const char* name = codec == VideoCodec::H264 ? "libx264" : "libx265";
    const AVCodec* encoder = avcodec_find_encoder_by_name(name);
    if (encoder == nullptr) {
        error_ = std::string("FFmpeg has no ") + name + " encoder";
        return;
    }
    AVCodecContext* c = avcodec_alloc_context3(encoder);
    c->width = width;
    c->height = height;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    const AVRational rate = av_d2q(fps, 1000);
    c->time_base = av_inv_q(rate);
    c->framerate = rate;
    c->gop_size = keyInterval;
    c->keyint_min = keyInterval;
    c->max_b_frames = 0;
    // Many cameras encode side by side in one simulator: one thread each.
    c->thread_count = 1;
    if (bitrateKbps > 0) {
        c->bit_rate = int64_t{bitrateKbps} * 1000;
        c->rc_max_rate = c->bit_rate;
        c->rc_buffer_size = static_cast<int>(c->bit_rate);
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    const std::string keys = "keyint=" + std::to_string(keyInterval) + ":min-keyint=" + std::to_string(keyInterval) + ":scenecut=0";
    if (codec == VideoCodec::H264) {
        av_dict_set(&options, "x264-params", keys.c_str(), 0);
    } else {
        // Closed key frames (IDR), so every one starts a decodable stream; quiet.
        // Without SAO x265 3.5 leaks its filter's buffers with every encoder.
        av_dict_set(&options, "x265-params", (keys + ":open-gop=0:sao=1:pools=none:frame-threads=1:log-level=error").c_str(), 0);
    }
    const int rc = avcodec_open2(c, encoder, &options);
    av_dict_free(&options);
    if (rc < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(rc, text, sizeof text);
        error_ = std::string("cannot open ") + name + ": " + text;
        avcodec_free_context(&c);
        return;
    }
    frame_ = av_frame_alloc();
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = width;
    frame_->height = height;
    packet_ = av_packet_alloc();
    if (av_frame_get_buffer(frame_, 0) < 0) {
        error_ = "out of memory";
        avcodec_free_context(&c);
        return;
    }
    context_ = c;
}

StreamEncoder::~StreamEncoder()
{
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&context_);
}

PicturePlanes StreamEncoder::picture()
{
    PicturePlanes planes;
    // The encoder may still hold the last picture: then this gives a new one.
    if (frame_ == nullptr || av_frame_make_writable(frame_) < 0) return planes;
    for (int i = 0; i < 3; ++i) {
        planes.data[i] = frame_->data[i];
        planes.stride[i] = frame_->linesize[i];
    }
    return planes;
}

bool StreamEncoder::encode(std::vector<uint8_t>& unit, bool& key)
{
    if (context_ == nullptr) return false;
    frame_->pts = next_++;
    if (avcodec_send_frame(context_, frame_) < 0) return false;
    unit.clear();
    key = false;
    // No delay: the picture's unit is ready at once.
    while (avcodec_receive_packet(context_, packet_) == 0) {
        unit.insert(unit.end(), packet_->data, packet_->data + packet_->size);
        key = key || (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(packet_);
    }
    return !unit.empty();
}

}  // namespace cx::sim
