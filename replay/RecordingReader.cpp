#include "RecordingReader.h"

#include "DecodingHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace cx {

struct RecordingReader::Av : DecodingHandles {};

RecordingReader::RecordingReader() = default;
RecordingReader::~RecordingReader() = default;

bool RecordingReader::isOpen() const
{
    return av_ != nullptr;
}

void RecordingReader::close()
{
    av_.reset();
    file_.clear();
    positions_.clear();
}

bool RecordingReader::open(const std::filesystem::path& file)
{
    close();
    auto av = std::make_unique<Av>();
    if (avformat_open_input(&av->format, file.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(av->format, nullptr) < 0) return false;
    av->stream = av_find_best_stream(av->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (av->stream < 0) return false;
    const AVCodecParameters* par = av->format->streams[av->stream]->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(par->codec_id);
    if (decoder == nullptr) return false;
    av->codec = avcodec_alloc_context3(decoder);
    if (av->codec == nullptr || avcodec_parameters_to_context(av->codec, par) < 0) return false;
    if (avcodec_open2(av->codec, decoder, nullptr) < 0) return false;
    av->packet = av_packet_alloc();
    av->picture = av_frame_alloc();
    if (av->packet == nullptr || av->picture == nullptr) return false;

    // One pass over the file: the frames that are there whole. Reading also
    // lets the demuxer index a file whose own index was never written.
    std::vector<int64_t> positions;
    while (av_read_frame(av->format, av->packet) >= 0) {
        if (av->packet->stream_index == av->stream && av->packet->size > 0 && av->packet->pts != AV_NOPTS_VALUE &&
            !(av->packet->flags & AV_PKT_FLAG_CORRUPT))
            positions.push_back(av->packet->pts);
        av_packet_unref(av->packet);
    }
    if (positions.empty()) return false;
    av_ = std::move(av);
    file_ = file;
    positions_ = std::move(positions);
    return true;
}

RecordingTimeline RecordingReader::timeline() const
{
    if (!isOpen()) return {};
    std::vector<int64_t> positions;
    for (int k = 0; k < frameCount(); ++k) positions.push_back(position(k));
    return RecordingTimeline::load(file_, positions);
}

int64_t RecordingReader::position(int k) const
{
    if (k < 0 || k >= frameCount()) return -1;
    return positions_[static_cast<size_t>(k)] - positions_.front();
}

QImage RecordingReader::frame(int k)
{
    if (!av_ || k < 0 || k >= frameCount()) return {};
    const int64_t pts = positions_[static_cast<size_t>(k)];
    if (av_seek_frame(av_->format, av_->stream, pts, AVSEEK_FLAG_BACKWARD) < 0) return {};
    avcodec_flush_buffers(av_->codec);
    // The seek lands on the frame itself (all are key frames) or just before.
    for (;;) {
        if (av_read_frame(av_->format, av_->packet) < 0) return {};
        const bool wanted = av_->packet->stream_index == av_->stream && av_->packet->pts == pts;
        const bool past = av_->packet->stream_index == av_->stream && av_->packet->pts > pts;
        if (wanted) break;
        av_packet_unref(av_->packet);
        if (past) return {};
    }
    const int sent = avcodec_send_packet(av_->codec, av_->packet);
    av_packet_unref(av_->packet);
    if (sent < 0) return {};
    avcodec_send_packet(av_->codec, nullptr);  // drain: this one packet is the picture
    const int got = avcodec_receive_frame(av_->codec, av_->picture);
    avcodec_flush_buffers(av_->codec);
    if (got < 0) return {};

    const AVFrame* f = av_->picture;
    const QSize size = fittedPictureSize(QSize(f->width, f->height), maxSize_);
    av_->scale = sws_getCachedContext(av_->scale, f->width, f->height, static_cast<AVPixelFormat>(f->format),
                                      size.width(), size.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr,
                                      nullptr);
    if (av_->scale == nullptr) return {};
    QImage out(size, QImage::Format_RGB32);
    uint8_t* dst[4] = {out.bits(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {static_cast<int>(out.bytesPerLine()), 0, 0, 0};
    sws_scale(av_->scale, f->data, f->linesize, 0, f->height, dst, dstStride);
    av_frame_unref(av_->picture);
    return out;
}

}  // namespace cx
