#include "AviRecording.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include "AviWriter.h"
#include "BitmapExport.h"
#include "FrameTimeLog.h"
#include "RecordingIo.h"

namespace cx {

namespace {

constexpr size_t ioBufferSize = 1024 * 1024;  // a whole frame per write: one system call per frame

}  // namespace

std::shared_ptr<AviRecording> AviRecording::create(const std::filesystem::path& wanted, const CompressOptions& options,
                                                   RecordingFile::WriteFunction write)
{
    auto file = RecordingFile::create(wanted, std::move(write));
    if (!file) return nullptr;
    std::shared_ptr<AviRecording> recording(new AviRecording(std::move(file), chooseRecordingCodec(options.handler)));
    if (!recording->writer_ &&
        (recording->format_ == nullptr || recording->io_ == nullptr || recording->packet_ == nullptr)) {
        // Keep the file: it exists now, and an empty recording beats a gap.
        recording->broken_ = true;
    }
    recording->times_ = FrameTimeLog::create(recording->path_);
    return recording;
}

AviRecording::AviRecording(std::unique_ptr<RecordingFile> file, RecordingCodec codec)
    : file_(std::move(file)), path_(file_->path()), codec_(codec)
{
    if (codec_.format != RecordingFormat::Encoded) {
        // Camera JPEGs and bitmaps go into the file as they are: our own
        // writer, which keeps the mostly empty positions cheap.
        writer_ = std::make_unique<AviWriter>(*file_);
        return;
    }
    packet_ = av_packet_alloc();
    if (avformat_alloc_output_context2(&format_, nullptr, "avi", nullptr) < 0) format_ = nullptr;
    // Every packet reaches the file at once: crash safety must not rest on
    // the muxer's default, which differs between FFmpeg versions.
    if (format_ != nullptr) av_opt_set_int(format_, "flush_packets", 1, 0);
    io_ = openRecordingIo(*file_, ioBufferSize);
    if (format_ != nullptr) format_->pb = io_;
}

AviRecording::~AviRecording() { finish(); }

bool AviRecording::flushesEveryPacket() const
{
    if (writer_) return true;  // each frame is one write of its own
    if (format_ == nullptr) return false;
    int64_t value = 0;
    return av_opt_get_int(format_, "flush_packets", 0, &value) >= 0 && value == 1;
}

int64_t AviRecording::positionFor(int64_t counter)
{
    if (!firstCounter_) firstCounter_ = counter;
    return int64_t{positionsPerFrame} * (counter - *firstCounter_);
}

bool AviRecording::openEncoder(int width, int height)
{
    const AVCodec* codec = avcodec_find_encoder(static_cast<AVCodecID>(codec_.codecId));
    if (codec == nullptr) return false;
    encoder_ = avcodec_alloc_context3(codec);
    if (encoder_ == nullptr) return false;
    encoder_->width = width;
    encoder_->height = height;
    encoder_->time_base = AVRational{1, rate};
    encoder_->framerate = AVRational{rate, 1};
    encoder_->gop_size = 1;  // every frame a key frame
    encoder_->max_b_frames = 0;
    encoder_->pix_fmt = codec->pix_fmts != nullptr ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
    encoder_->thread_count = 1;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder_, codec, nullptr) < 0) return false;
    encoderFrame_ = av_frame_alloc();
    if (encoderFrame_ == nullptr) return false;
    encoderFrame_->format = encoder_->pix_fmt;
    encoderFrame_->width = width;
    encoderFrame_->height = height;
    if (av_frame_get_buffer(encoderFrame_, 0) < 0) return false;
    scaler_ = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, encoder_->pix_fmt, SWS_BILINEAR, nullptr,
                             nullptr, nullptr);
    return scaler_ != nullptr;
}

bool AviRecording::start(int width, int height)
{
    if (width <= 0 || height <= 0) return false;
    started_ = true;
    width_ = width;
    height_ = height;
    if (writer_) {
        writer_->start(codec_.format == RecordingFormat::Bitmap ? bitmapVideoFormat(width, height)
                                                                : jpegVideoFormat(width, height),
                       rate);
        return true;
    }
    AVStream* stream = avformat_new_stream(format_, nullptr);
    if (stream == nullptr) return false;
    stream->time_base = AVRational{1, rate};
    stream->avg_frame_rate = AVRational{rate, 1};
    // Only encoded recordings come here; the others have their writer.
    AVCodecParameters* par = stream->codecpar;
    const bool usable = openEncoder(width, height);
    if (usable) {
        avcodec_parameters_from_context(par, encoder_);
    } else {
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = static_cast<AVCodecID>(codec_.codecId);
        par->width = width;
        par->height = height;
    }
    const int rc = avformat_write_header(format_, nullptr);
    avio_flush(format_->pb);
    if (rc < 0) {
        format_->pb = nullptr;  // nothing more goes to the file
        return false;
    }
    return usable;
}

bool AviRecording::writePacket(AVPacket* packet)
{
    packet->stream_index = 0;
    packet->flags |= AV_PKT_FLAG_KEY;
    if (av_write_frame(format_, packet) < 0) return false;
    avio_flush(format_->pb);
    return true;
}

void AviRecording::drainEncoder(bool flush)
{
    if (encoder_ == nullptr) return;
    if (flush) avcodec_send_frame(encoder_, nullptr);
    AVPacket* out = av_packet_alloc();
    if (out == nullptr) return;
    while (avcodec_receive_packet(encoder_, out) == 0) {
        av_packet_rescale_ts(out, encoder_->time_base, format_->streams[0]->time_base);
        if (writePacket(out)) ++framesWritten_;
        av_packet_unref(out);
    }
    av_packet_free(&out);
}

bool AviRecording::encode(const RecordingFrame& frame, int64_t position)
{
    const size_t size = bitmapImageSize(width_, height_);
    pixels_.assign(size, 0);
    if (frame.picture != nullptr) SaveAsBitmap(*frame.picture, pixels_.data(), size);
    if (av_frame_make_writable(encoderFrame_) < 0) return false;
    // Bottom-up rows: start at the last stored row and step backwards.
    const int stride = static_cast<int>(bitmapStride(width_));
    const uint8_t* source[1] = {pixels_.data() + static_cast<size_t>(height_ - 1) * static_cast<size_t>(stride)};
    const int strides[1] = {-stride};
    sws_scale(scaler_, source, strides, 0, height_, encoderFrame_->data, encoderFrame_->linesize);
    encoderFrame_->pts = position;
    const int before = framesWritten_;
    if (avcodec_send_frame(encoder_, encoderFrame_) < 0) return false;
    drainEncoder(false);
    return framesWritten_ > before;
}

bool AviRecording::writeToWriter(const uint8_t* data, size_t size, int64_t position)
{
    writer_->writeFrame(data, size, position);
    ++framesWritten_;
    return true;
}

bool AviRecording::write(const RecordingFrame& frame, int64_t position)
{
    const bool written = writeFrame(frame, position);
    if (written && times_) times_->add(position, frame.receivedMs);
    return written;
}

bool AviRecording::writeFrame(const RecordingFrame& frame, int64_t position)
{
    if (finished_ || broken_) return false;
    if (!started_ && !start(frame.width, frame.height)) {
        broken_ = true;
        return false;
    }
    switch (codec_.format) {
    case RecordingFormat::Jpeg: {
        if (frame.jpeg.empty()) return false;
        return writeToWriter(frame.jpeg.data(), frame.jpeg.size(), position);
    }
    case RecordingFormat::Bitmap: {
        // A file holds one picture size; a frame of another size is dropped.
        if (frame.width != width_ || frame.height != height_) return false;
        const size_t size = bitmapImageSize(width_, height_);
        pixels_.assign(size, 0);
        if (frame.picture != nullptr) SaveAsBitmap(*frame.picture, pixels_.data(), size);
        return writeToWriter(pixels_.data(), size, position);
    }
    case RecordingFormat::Encoded:
        if (frame.width != width_ || frame.height != height_) return false;
        return encode(frame, position);
    }
    return false;
}

void AviRecording::finish()
{
    if (finished_) return;
    finished_ = true;
    if (writer_) {
        // A recording closed before its first frame still becomes a valid,
        // empty file.
        if (!started_) start(320, 240);
        writer_->finish();
        writer_.reset();
    }
    if (format_ != nullptr && format_->pb != nullptr) {
        // A recording closed before its first frame still becomes a valid,
        // empty file.
        if (!started_) start(320, 240);
        if (format_->pb != nullptr && started_) {
            drainEncoder(true);
            av_write_trailer(format_);
            avio_flush(format_->pb);
        }
    }
    times_.reset();  // its last batch
    if (scaler_ != nullptr) sws_freeContext(scaler_);
    scaler_ = nullptr;
    av_frame_free(&encoderFrame_);
    avcodec_free_context(&encoder_);
    av_packet_free(&packet_);
    freeMuxer(format_, io_);
    file_.reset();
}

}  // namespace cx
