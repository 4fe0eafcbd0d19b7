#include "support/NumberedVideo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstdlib>
#include <string>

#include "support/Ffprobe.h"

// libx265 3.5 leaves a block of its own allocated after its encoder is
// closed; the sanitizer build's leak check is not to blame the tests for it.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libx265.so\n";
}

namespace cx::test {

std::vector<uint8_t> numberedPicture(int n, int width, int height)
{
    std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
    const int block = width / numberBits;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto v = static_cast<uint8_t>(40 + (x + y / 2 + 5 * n) % 160);
            const int bit = x / block;
            const int inBlock = x - bit * block;
            if (y < height / 4 && bit < numberBits && inBlock >= block / 8 && inBlock < block * 7 / 8)
                v = ((n >> bit) & 1) ? 235 : 20;
            grey[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = v;
        }
    return grey;
}

int shownNumber(const QImage& picture)
{
    if (picture.isNull()) return -1;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    int n = 0;
    for (int bit = 0; bit < numberBits; ++bit) {
        // The middle third of the block.
        const int x0 = (3 * bit + 1) * w / (3 * numberBits), x1 = (3 * bit + 2) * w / (3 * numberBits);
        const int y0 = h / 16, y1 = h * 3 / 16;
        double sum = 0;
        int count = 0;
        for (int y = y0; y < y1; ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = x0; x < x1; ++x, ++count) sum += qGray(line[x]);
        }
        const double mean = count > 0 ? sum / count : 128;
        if (mean > 80 && mean < 175) return -1;
        if (mean >= 175) n |= 1 << bit;
    }
    return n;
}

double meanDifference(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size() || x.isNull()) return 1e9;
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            sum += std::abs(qRed(p[col]) - qRed(q[col])) + std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
    }
    return sum / (3.0 * x.width() * x.height());
}

namespace {

// The encoder's packets into the muxer, in the stream's time base.
bool drain(AVCodecContext* encoder, AVFormatContext* format, AVStream* stream, AVPacket* packet)
{
    for (;;) {
        const int got = avcodec_receive_packet(encoder, packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
        if (got < 0) return false;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) return false;
    }
}

}  // namespace

bool writeNumberedVideo(const std::filesystem::path& file, const NumberedVideo& video)
{
    const AVCodec* codec = avcodec_find_encoder_by_name(video.encoder.c_str());
    if (codec == nullptr) return false;
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, nullptr, file.c_str()) < 0) return false;
    AVCodecContext* encoder = avcodec_alloc_context3(codec);
    AVFrame* picture = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    AVDictionary* options = nullptr;
    AVDictionary* muxing = nullptr;
    bool ok = false;
    do {
        AVStream* stream = avformat_new_stream(format, nullptr);
        if (stream == nullptr || encoder == nullptr || picture == nullptr || packet == nullptr) break;
        encoder->width = video.width;
        encoder->height = video.height;
        encoder->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder->time_base = AVRational{1, video.fps};
        encoder->framerate = AVRational{video.fps, 1};
        if (format->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        av_dict_parse_string(&options, video.options.c_str(), "=", ";", 0);
        if (avcodec_open2(encoder, codec, &options) < 0) break;
        if (avcodec_parameters_from_context(stream->codecpar, encoder) < 0) break;
        stream->time_base = encoder->time_base;
        if (!video.creationTime.empty()) av_dict_set(&format->metadata, "creation_time", video.creationTime.c_str(), 0);
        if (video.clusterMs > 0) av_dict_set_int(&muxing, "cluster_time_limit", video.clusterMs, 0);
        if (avio_open(&format->pb, file.c_str(), AVIO_FLAG_WRITE) < 0) break;
        if (avformat_write_header(format, &muxing) < 0) break;

        picture->format = encoder->pix_fmt;
        picture->width = video.width;
        picture->height = video.height;
        if (av_frame_get_buffer(picture, 0) < 0) break;
        bool written = true;
        for (int n = 0; n < video.frames && written; ++n) {
            if (av_frame_make_writable(picture) < 0) break;
            // The grey picture as luma; no colour.
            const auto grey = numberedPicture(n, video.width, video.height);
            for (int y = 0; y < video.height; ++y)
                std::copy_n(grey.data() + static_cast<size_t>(y) * static_cast<size_t>(video.width), video.width,
                            picture->data[0] + static_cast<ptrdiff_t>(y) * picture->linesize[0]);
            for (int plane = 1; plane < 3; ++plane)
                for (int y = 0; y < video.height / 2; ++y)
                    std::fill_n(picture->data[plane] + static_cast<ptrdiff_t>(y) * picture->linesize[plane],
                                video.width / 2, uint8_t{128});
            picture->pts = n;
            written = avcodec_send_frame(encoder, picture) >= 0 && drain(encoder, format, stream, packet);
        }
        if (!written || avcodec_send_frame(encoder, nullptr) < 0 || !drain(encoder, format, stream, packet)) break;
        ok = av_write_trailer(format) >= 0;
    } while (false);
    av_dict_free(&options);
    av_dict_free(&muxing);
    av_packet_free(&packet);
    av_frame_free(&picture);
    avcodec_free_context(&encoder);
    if (format->pb != nullptr) avio_closep(&format->pb);
    avformat_free_context(format);
    return ok;
}

std::vector<QImage> straightDecode(const std::filesystem::path& file)
{
    std::vector<QImage> frames;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return frames;
    AVCodecContext* decoder = nullptr;
    SwsContext* scale = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* picture = av_frame_alloc();
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                           : -1;
    const auto receive = [&] {
        while (avcodec_receive_frame(decoder, picture) == 0) {
            scale = sws_getCachedContext(scale, picture->width, picture->height,
                                         static_cast<AVPixelFormat>(picture->format), picture->width, picture->height,
                                         AV_PIX_FMT_RGB32, SWS_BICUBIC, nullptr, nullptr, nullptr);
            QImage image(picture->width, picture->height, QImage::Format_RGB32);
            uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
            const int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
            sws_scale(scale, picture->data, picture->linesize, 0, picture->height, dst, dstStride);
            frames.push_back(image);
            av_frame_unref(picture);
        }
    };
    if (stream >= 0) {
        const AVCodec* codec = avcodec_find_decoder(format->streams[stream]->codecpar->codec_id);
        decoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
        if (decoder != nullptr && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0 &&
            avcodec_open2(decoder, codec, nullptr) >= 0) {
            while (av_read_frame(format, packet) >= 0) {
                if (packet->stream_index == stream) avcodec_send_packet(decoder, packet);
                av_packet_unref(packet);
                receive();
            }
            avcodec_send_packet(decoder, nullptr);
            receive();
        }
    }
    sws_freeContext(scale);
    av_frame_free(&picture);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return frames;
}

std::vector<std::pair<int64_t, int64_t>> packetPlaces(const std::filesystem::path& file)
{
    std::vector<std::pair<int64_t, int64_t>> places;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0) return places;
    AVPacket* packet = av_packet_alloc();
    const int stream = avformat_find_stream_info(format, nullptr) >= 0
                           ? av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)
                           : -1;
    while (stream >= 0 && av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) places.emplace_back(packet->pos, packet->size);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return places;
}

int ffprobeFrameCount(const std::filesystem::path& file)
{
    const std::string out = runCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries "
                                       "stream=nb_read_frames -of csv=p=0 '" +
                                       file.string() + "' 2>/dev/null");
    char* end = nullptr;
    const long n = std::strtol(out.c_str(), &end, 10);
    return end != out.c_str() ? static_cast<int>(n) : -1;
}

}  // namespace cx::test
