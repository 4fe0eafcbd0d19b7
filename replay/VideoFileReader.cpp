#include "VideoFileReader.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/parseutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <thread>

#include "DecodingHandles.h"
#include "RecordingTime.h"

namespace cx {

struct VideoFileReader::Av : DecodingHandles {
    // What the scaler was last set up for, beyond what it checks itself.
    int colorspace = -1;
    int range = -1;

    bool usable(const AVPacket* p) const
    {
        return p->stream_index == stream && p->size > 0 && !(p->flags & (AV_PKT_FLAG_CORRUPT | AV_PKT_FLAG_DISCARD)) &&
               (p->pts != AV_NOPTS_VALUE || p->dts != AV_NOPTS_VALUE);
    }

    static int64_t stampOf(const AVPacket* p) { return p->pts != AV_NOPTS_VALUE ? p->pts : p->dts; }
    static int64_t stampOf(const AVFrame* f) { return f->pts != AV_NOPTS_VALUE ? f->pts : f->best_effort_timestamp; }

    QImage toImage(const AVFrame* f, QSize maxSize)
    {
        const auto source = static_cast<AVPixelFormat>(f->format);
        const QSize size = fittedPictureSize(QSize(f->width, f->height), maxSize);
        SwsContext* before = scale;
        // Area averaging: a third cheaper than bilinear for the window's
        // fifth of 1080p, and no worse to look at.
        scale = sws_getCachedContext(scale, f->width, f->height, source, size.width(), size.height(), AV_PIX_FMT_RGB32,
                                     SWS_AREA, nullptr, nullptr, nullptr);
        if (scale == nullptr) return {};
        // HD cameras mark their stream BT.709, some full range: without
        // this the colours come out as BT.601's.
        if (scale != before || f->colorspace != colorspace || f->color_range != range) {
            int* inverse = nullptr;
            int* table = nullptr;
            int srcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
            if (sws_getColorspaceDetails(scale, &inverse, &srcRange, &table, &dstRange, &brightness, &contrast,
                                         &saturation) >= 0) {
                const int space = f->colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : f->colorspace;
                const bool full = f->color_range == AVCOL_RANGE_JPEG || srcRange != 0;
                sws_setColorspaceDetails(scale, sws_getCoefficients(space), full ? 1 : 0, table, dstRange, brightness,
                                         contrast, saturation);
            }
            colorspace = f->colorspace;
            range = f->color_range;
        }
        QImage out(size, QImage::Format_RGB32);
        if (out.isNull()) return {};
        uint8_t* dst[4] = {out.bits(), nullptr, nullptr, nullptr};
        const int dstStride[4] = {static_cast<int>(out.bytesPerLine()), 0, 0, 0};
        sws_scale(scale, f->data, f->linesize, 0, f->height, dst, dstStride);
        return out;
    }
};

VideoFileReader::VideoFileReader(size_t cacheBytes) : cacheBytes_(cacheBytes) {}
VideoFileReader::~VideoFileReader() = default;

bool VideoFileReader::isOpen() const
{
    return av_ != nullptr;
}

void VideoFileReader::close()
{
    av_.reset();
    file_.clear();
    packets_.clear();
    byStamp_.clear();
    frameStamps_.clear();
    packetOf_.clear();
    startOf_.clear();
    creationMs_.reset();
    live_ = draining_ = held_ = false;
    runStart_ = lastOutput_ = -1;
    nextPacket_ = 0;
    clearCache();
    decoded_ = 0;
}

bool VideoFileReader::open(const std::filesystem::path& file)
{
    close();
    auto av = std::make_unique<Av>();
    if (avformat_open_input(&av->format, file.c_str(), nullptr, nullptr) < 0) return false;
    if (avformat_find_stream_info(av->format, nullptr) < 0) return false;
    av->stream = av_find_best_stream(av->format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (av->stream < 0) return false;
    AVStream* stream = av->format->streams[av->stream];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) return false;
    av->codec = avcodec_alloc_context3(decoder);
    if (av->codec == nullptr || avcodec_parameters_to_context(av->codec, stream->codecpar) < 0) return false;
    av->codec->pkt_timebase = stream->time_base;
    // Frame threads: a step back decodes a whole group of pictures, and
    // frames decode side by side. They hold a few frames back, which
    // forward play pays once.
    av->codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    av->codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(av->codec, decoder, nullptr) < 0) return false;
    av->packet = av_packet_alloc();
    av->picture = av_frame_alloc();
    if (av->packet == nullptr || av->picture == nullptr) return false;
    for (unsigned i = 0; i < av->format->nb_streams; ++i)
        if (static_cast<int>(i) != av->stream) av->format->streams[i]->discard = AVDISCARD_ALL;

    // One pass over the packets, no decoding. What comes before the first
    // key frame cannot be decoded.
    std::vector<Packet> packets;
    while (av_read_frame(av->format, av->packet) >= 0) {
        if (av->usable(av->packet) && (!packets.empty() || (av->packet->flags & AV_PKT_FLAG_KEY)))
            packets.push_back({Av::stampOf(av->packet),
                               av->packet->dts != AV_NOPTS_VALUE ? av->packet->dts : Av::stampOf(av->packet),
                               av->packet->pos, (av->packet->flags & AV_PKT_FLAG_KEY) != 0});
        av_packet_unref(av->packet);
    }
    if (packets.empty()) return false;

    // The frames in display order: by time stamp. Pictures shown before the
    // first key frame (an open group's leading ones) refer to what the file
    // does not hold.
    const int64_t firstKey = packets.front().stamp;
    std::vector<std::pair<int64_t, int>> byStamp;
    for (size_t d = 0; d < packets.size(); ++d) byStamp.emplace_back(packets[d].stamp, static_cast<int>(d));
    std::sort(byStamp.begin(), byStamp.end());
    std::vector<int> keys;
    for (size_t d = 0; d < packets.size(); ++d)
        if (packets[d].key) keys.push_back(static_cast<int>(d));
    for (const auto& [stamp, d] : byStamp) {
        if (stamp < firstKey || (!frameStamps_.empty() && frameStamps_.back() == stamp)) continue;
        frameStamps_.push_back(stamp);
        packetOf_.push_back(d);
        // The last key frame before it in decode order that is not shown
        // after it: a picture shown before its group's key frame refers to
        // the group before.
        auto key = std::upper_bound(keys.begin(), keys.end(), d) - 1;
        while (key != keys.begin() && packets[static_cast<size_t>(*key)].stamp > stamp) --key;
        startOf_.push_back(*key);
    }

    const AVDictionaryEntry* created = av_dict_get(av->format->metadata, "creation_time", nullptr, 0);
    if (created == nullptr) created = av_dict_get(stream->metadata, "creation_time", nullptr, 0);
    int64_t micro = 0;
    if (created != nullptr && av_parse_time(&micro, created->value, 0) == 0) creationMs_ = micro / 1000;

    av_ = std::move(av);
    file_ = file;
    packets_ = std::move(packets);
    byStamp_ = std::move(byStamp);
    return true;
}

void VideoFileReader::setMaxPictureSize(QSize size)
{
    if (size == maxSize_) return;
    maxSize_ = size;
    clearCache();
}

RecordingTimeline VideoFileReader::timeline() const
{
    if (!isOpen()) return {};
    const AVRational base = av_->format->streams[av_->stream]->time_base;
    std::vector<int64_t> stamps;
    stamps.reserve(frameStamps_.size());
    for (const int64_t stamp : frameStamps_)
        stamps.push_back(av_rescale_q(stamp - frameStamps_.front(), base, AVRational{1, 1000}));
    std::optional<int64_t> nameStart;
    if (const auto start = parseRecordingName(file_.filename().string())) nameStart = recordingStartMs(*start);
    return RecordingTimeline::fromTimeStamps(stamps, creationMs_, nameStart);
}

bool VideoFileReader::isKeyFrame(int k) const
{
    if (k < 0 || k >= frameCount()) return false;
    return packets_[static_cast<size_t>(packetOf_[static_cast<size_t>(k)])].key;
}

QImage VideoFileReader::frame(int k)
{
    if (!av_ || k < 0 || k >= frameCount()) return {};
    if (const auto it = cache_.find(k); it != cache_.end()) return it->second;
    int start = startOf_[static_cast<size_t>(k)];
    // A decoder may give nothing for the pictures right after a key frame
    // that is no clean start (an I frame without a recovery point): then
    // once more from the key frame before.
    for (int attempt = 0; attempt < 2 && start >= 0; ++attempt) {
        if (!continuesTo(k, start) && !startAt(start)) return {};
        if (decodeUntil(k)) return cache_.at(k);
        int earlier = start - 1;
        while (earlier >= 0 && !packets_[static_cast<size_t>(earlier)].key) --earlier;
        start = earlier;
    }
    return {};
}

bool VideoFileReader::continuesTo(int k, int start) const
{
    // The run has reached k's key frame and not yet delivered k or beyond.
    return live_ && runStart_ <= start && start <= nextPacket_ && k > lastOutput_;
}

bool VideoFileReader::startAt(int packet)
{
    avcodec_flush_buffers(av_->codec);
    av_packet_unref(av_->packet);
    live_ = draining_ = held_ = false;
    lastOutput_ = -1;
    const Packet& key = packets_[static_cast<size_t>(packet)];
    const Packet& first = packets_.front();
    // Onto the key frame's packet. Demuxers seek by their own time stamps
    // (decode time in MPEG-TS, presentation time in Matroska) and land at or
    // before the target; should one land after, by the packet's byte
    // offset, and at last from the file's first key frame.
    for (int attempt = 0; attempt < 3; ++attempt) {
        int sought = -1;
        if (attempt == 0) sought = av_seek_frame(av_->format, av_->stream, key.seekStamp, AVSEEK_FLAG_BACKWARD);
        if (attempt == 1 && key.pos >= 0) sought = av_seek_frame(av_->format, av_->stream, key.pos, AVSEEK_FLAG_BYTE);
        if (attempt == 2) sought = av_seek_frame(av_->format, av_->stream, first.seekStamp, AVSEEK_FLAG_BACKWARD);
        if (sought < 0) continue;
        while (readStreamPacket()) {
            const int64_t read = Av::stampOf(av_->packet);
            if (read == key.stamp && (av_->packet->flags & AV_PKT_FLAG_KEY)) {
                held_ = live_ = true;
                runStart_ = nextPacket_ = packet;
                return true;
            }
            const int at = packetWithStamp(read, 0);
            av_packet_unref(av_->packet);
            if (at > packet) break;  // landed past it
        }
    }
    return false;
}

bool VideoFileReader::decodeUntil(int k)
{
    for (;;) {
        const int got = avcodec_receive_frame(av_->codec, av_->picture);
        if (got == 0) {
            ++decoded_;
            const int j = frameWithStamp(Av::stampOf(av_->picture));
            if (j >= 0) {
                lastOutput_ = j;
                keep(j, k);
            }
            av_frame_unref(av_->picture);
            if (j == k) return cache_.count(k) != 0;
            if (j > k) return false;  // went past it: the decoder dropped it
            continue;
        }
        if (got != AVERROR(EAGAIN) || draining_) {
            // The end of what the file holds, or a decoder that gave up.
            live_ = false;
            return false;
        }
        if (!feedNext()) {
            avcodec_send_packet(av_->codec, nullptr);
            draining_ = true;
        }
    }
}

bool VideoFileReader::feedNext()
{
    for (;;) {
        if (!held_) {
            if (nextPacket_ >= static_cast<int>(packets_.size()) || !readStreamPacket()) return false;
            // Keep the count in step with the index, whatever the demuxer
            // gives again or leaves out.
            const int at = packetWithStamp(Av::stampOf(av_->packet), nextPacket_);
            if (at < 0) {
                av_packet_unref(av_->packet);
                continue;
            }
            nextPacket_ = at;
        }
        held_ = false;
        // A packet the decoder refuses is left out; the frames after it
        // decode as well as they can.
        avcodec_send_packet(av_->codec, av_->packet);
        av_packet_unref(av_->packet);
        ++nextPacket_;
        return true;
    }
}

bool VideoFileReader::readStreamPacket()
{
    while (av_read_frame(av_->format, av_->packet) >= 0) {
        if (av_->usable(av_->packet)) return true;
        av_packet_unref(av_->packet);
    }
    return false;
}

int VideoFileReader::packetWithStamp(int64_t stamp, int from) const
{
    // The first packet at or after `from` with this stamp.
    auto it = std::lower_bound(byStamp_.begin(), byStamp_.end(), std::make_pair(stamp, from));
    if (it == byStamp_.end() || it->first != stamp) return -1;
    return it->second;
}

int VideoFileReader::frameWithStamp(int64_t stamp) const
{
    const auto it = std::lower_bound(frameStamps_.begin(), frameStamps_.end(), stamp);
    if (it == frameStamps_.end() || *it != stamp) return -1;
    return static_cast<int>(it - frameStamps_.begin());
}

void VideoFileReader::keep(int j, int target)
{
    const auto distance = [target](int i) { return std::abs(i - target); };
    // Pictures further from the target than the cache holds are not worth
    // converting.
    if (j != target && !cache_.empty()) {
        const size_t bytes = cache_.begin()->second.sizeInBytes();
        if (bytes > 0 && static_cast<size_t>(distance(j)) >= cacheBytes_ / bytes) return;
    }
    QImage picture = av_->toImage(av_->picture, maxSize_);
    if (picture.isNull()) return;
    const auto size = static_cast<size_t>(picture.sizeInBytes());
    if (const auto old = cache_.find(j); old != cache_.end()) {
        cachedBytes_ -= static_cast<size_t>(old->second.sizeInBytes());
        cache_.erase(old);
    }
    while (!cache_.empty() && cachedBytes_ + size > cacheBytes_) {
        // Out goes the picture furthest from the target, unless that is
        // this one.
        const auto first = cache_.begin();
        const auto last = std::prev(cache_.end());
        const auto furthest = distance(first->first) >= distance(last->first) ? first : last;
        if (j != target && distance(furthest->first) <= distance(j)) return;
        cachedBytes_ -= static_cast<size_t>(furthest->second.sizeInBytes());
        cache_.erase(furthest);
    }
    cachedBytes_ += size;
    cache_.emplace(j, std::move(picture));
}

void VideoFileReader::clearCache()
{
    cache_.clear();
    cachedBytes_ = 0;
}

}  // namespace cx
