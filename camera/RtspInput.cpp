#include "RtspInput.h"

#include <time.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
}

#include <algorithm>

#include "FfmpegLog.h"
#include "RtspUrl.h"

namespace cx {

namespace {

// FFmpeg asks the interrupt callback before every read of the socket, so
// the silence deadline is kept on the coarse clock (a few milliseconds'
// resolution), the cheapest to read.
int64_t steadyNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

std::atomic<uint64_t> connectionCounter{0};

}  // namespace

RtspInput::RtspInput(StopToken stop, std::chrono::milliseconds silence, HostResolver& resolver)
    : stop_(std::move(stop)), silence_(silence), resolver_(resolver), held_(av_packet_alloc()), pending_(av_packet_alloc()),
      lastPts_(AV_NOPTS_VALUE)
{
    routeFfmpegLog();
}

RtspInput::~RtspInput()
{
    close();
    av_packet_free(&held_);
    av_packet_free(&pending_);
}

int RtspInput::interruptCallback(void* opaque)
{
    const auto* self = static_cast<const RtspInput*>(opaque);
    if (self->stop_ && self->stop_()) return 1;
    return steadyNs() > self->deadlineNs_.load(std::memory_order_relaxed) ? 1 : 0;
}

void RtspInput::extendDeadline()
{
    deadlineNs_.store(steadyNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(silence_).count(),
                      std::memory_order_relaxed);
}

RtspOpen RtspInput::open(const HostPort& target, const std::string& login, const std::string& password,
                         const std::string& path, bool udp)
{
    close();
    connection_ = ++connectionCounter;
    extendDeadline();
    // The lookup has the silence time, then the open and the look at the
    // streams share another. FFmpeg builds its requests (and the digest
    // login's URI) from the address, which a camera takes like its name.
    const Resolved resolved = resolver_.resolve(
        target.host, stop_,
        std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadlineNs_.load(std::memory_order_relaxed))));
    if (resolved.end == Resolve::Stopped) return RtspOpen::Stopped;
    if (resolved.end != Resolve::Resolved) return RtspOpen::Failed;
    // A slow name server must not eat the camera's own time to answer.
    if (!HostResolver::isLiteral(target.host)) extendDeadline();
    const std::string url = rtspUrl(HostPort{resolved.address, target.port}, login, password, path);
    context_ = avformat_alloc_context();
    if (context_ == nullptr) return RtspOpen::Failed;
    context_->interrupt_callback.callback = &RtspInput::interruptCallback;
    context_->interrupt_callback.opaque = this;
    // The stream descriptions come with the answer to DESCRIBE; a second of
    // packets is enough to learn a picture size the description left out.
    context_->max_analyze_duration = AV_TIME_BASE;
    context_->probesize = 1 << 20;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", udp ? "udp" : "tcp", 0);
    av_dict_set(&options, "allowed_media_types", "video+audio", 0);
    // Packets reordered over UDP wait at most this long (microseconds).
    av_dict_set(&options, "max_delay", "200000", 0);
    const int opened = avformat_open_input(&context_, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        context_ = nullptr;  // freed by avformat_open_input
        if (stop_ && stop_()) return RtspOpen::Stopped;
        if (opened == AVERROR_HTTP_UNAUTHORIZED || opened == AVERROR_HTTP_FORBIDDEN) return RtspOpen::Unauthorized;
        if (opened == AVERROR_HTTP_NOT_FOUND) return RtspOpen::NotFound;
        return RtspOpen::Failed;
    }
    // The silence time bounds the open and the look at the streams together.
    if (avformat_find_stream_info(context_, nullptr) < 0) {
        const bool stopped = stop_ && stop_();
        close();
        return stopped ? RtspOpen::Stopped : RtspOpen::Failed;
    }
    // The first video stream, as the recording takes it.
    for (unsigned k = 0; k < context_->nb_streams && video_ < 0; ++k)
        if (context_->streams[k]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) video_ = static_cast<int>(k);
    if (video_ < 0) {
        close();
        return RtspOpen::NoVideo;
    }
    const AVCodecID codec = context_->streams[video_]->codecpar->codec_id;
    if (codec != AV_CODEC_ID_H264 && codec != AV_CODEC_ID_HEVC) {
        close();
        return RtspOpen::NoVideo;
    }
    const AVStream* stream = context_->streams[video_];
    const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
    frameTicks_ = rate.num > 0 && rate.den > 0 ? std::max<int64_t>(1, av_rescale_q(1, av_inv_q(rate), stream->time_base))
                                               : 1;
    lastPts_ = AV_NOPTS_VALUE;
    extendDeadline();
    return RtspOpen::Ok;
}

bool RtspInput::isAudio(int streamIndex) const
{
    if (context_ == nullptr || streamIndex < 0 || streamIndex >= static_cast<int>(context_->nb_streams)) return false;
    return context_->streams[streamIndex]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool RtspInput::readOne(AVPacket* packet)
{
    for (;;) {
        av_packet_unref(packet);
        if (av_read_frame(context_, packet) < 0) return false;
        if (packet->stream_index == video_ || isAudio(packet->stream_index)) {
            extendDeadline();
            return true;
        }
    }
}

bool RtspInput::read(AVPacket* packet)
{
    if (context_ == nullptr) return false;
    if (pending_ != nullptr && pending_->data != nullptr) {
        av_packet_unref(packet);
        av_packet_move_ref(packet, pending_);
        return true;
    }
    for (;;) {
        if (!readOne(packet)) return false;
        if (packet->stream_index != video_) return true;
        if (packet->pts == AV_NOPTS_VALUE) {
            if (lastPts_ == AV_NOPTS_VALUE) {
                if (held_ == nullptr) return false;
                av_packet_unref(held_);
                av_packet_move_ref(held_, packet);
                continue;
            }
            packet->pts = lastPts_ + frameTicks_;
        }
        if (packet->dts == AV_NOPTS_VALUE) packet->dts = packet->pts;
        lastPts_ = packet->pts;
        if (held_ != nullptr && held_->data != nullptr && pending_ != nullptr) {
            held_->pts = held_->dts = packet->pts - frameTicks_;
            av_packet_move_ref(pending_, packet);
            av_packet_move_ref(packet, held_);
        }
        return true;
    }
}

void RtspInput::close()
{
    if (context_ == nullptr) return;
    // TEARDOWN is sent only while the callback lets it: after a stop the
    // session ends at once, the camera times it out.
    avformat_close_input(&context_);
    context_ = nullptr;
    video_ = -1;
    if (held_ != nullptr) av_packet_unref(held_);
    if (pending_ != nullptr) av_packet_unref(pending_);
}

}  // namespace cx
