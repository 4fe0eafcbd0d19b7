#include "StreamRecording.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <ctime>
#include <system_error>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/opt.h>
}

#include "RecordingIo.h"

namespace cx {

namespace {

// A cluster of a fast camera in one system call.
constexpr size_t ioBufferSize = 1024 * 1024;
constexpr AVRational milliseconds{1, 1000};
constexpr int64_t none = INT64_MIN;

bool recordable(const AVCodecParameters& par)
{
    return par.codec_id != AV_CODEC_ID_NONE &&
           (par.codec_type == AVMEDIA_TYPE_VIDEO || par.codec_type == AVMEDIA_TYPE_AUDIO);
}

// Matroska names AAC and the like itself; G.711 and other sounds with a
// WAVE format tag go in as Windows audio formats (A_MS/ACM), which players read.
bool takesSound(const AVOutputFormat& format, AVCodecID codec)
{
    if (avformat_query_codec(&format, codec, FF_COMPLIANCE_NORMAL) == 1) return true;
    const AVCodecTag* const wave[] = {avformat_get_riff_audio_tags(), nullptr};
    return av_codec_get_tag(wave, codec) != 0;
}

int videoStreamOf(const AVFormatContext& input)
{
    for (unsigned k = 0; k < input.nb_streams; ++k) {
        const AVCodecParameters& par = *input.streams[k]->codecpar;
        if (par.codec_type == AVMEDIA_TYPE_VIDEO && par.codec_id != AV_CODEC_ID_NONE) return static_cast<int>(k);
    }
    return -1;
}

// "2026-03-01T10:00:00.250Z": the muxer stores it as the file's date, to the millisecond.
std::string isoTime(int64_t ms)
{
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm t{};
    ::gmtime_r(&seconds, &t);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                  t.tm_hour, t.tm_min, t.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

// The parameter sets at the front of an Annex B key frame, for a camera
// that announced none: without them in the track's header no player can
// decode the file.
std::vector<uint8_t> parameterSets(AVCodecID codec, const uint8_t* data, int size)
{
    std::vector<uint8_t> sets;
    const auto isSet = [codec](uint8_t head) {
        if (codec == AV_CODEC_ID_H264) {
            const int type = head & 0x1f;
            return type == 7 || type == 8;
        }
        const int type = (head >> 1) & 0x3f;
        return type >= 32 && type <= 34;
    };
    int at = 0;
    const auto nextStart = [&](int from) {
        for (int k = from; k + 3 <= size; ++k)
            if (data[k] == 0 && data[k + 1] == 0 && data[k + 2] == 1) return k;
        return size;
    };
    at = nextStart(0);
    while (at < size) {
        const int begin = at + 3;
        int end = nextStart(begin);
        const int next = end;
        while (end > begin && data[end - 1] == 0) --end;  // the next start code's leading zero
        if (begin < end && isSet(data[begin])) {
            static constexpr uint8_t startCode[4] = {0, 0, 0, 1};
            sets.insert(sets.end(), startCode, startCode + 4);
            sets.insert(sets.end(), data + begin, data + end);
        }
        at = next;
    }
    return sets;
}

}  // namespace

std::shared_ptr<StreamRecording> StreamRecording::create(const std::filesystem::path& wanted,
                                                         RecordingFile::WriteFunction write)
{
    // The name is given now (the recording window, the timetable and a
    // roll-over go by it); the file waits for a picture to hold.
    std::optional<std::filesystem::path> name = RecordingFile::freeName(wanted);
    if (!name) return nullptr;
    std::shared_ptr<StreamRecording> recording(new StreamRecording(std::move(*name), std::move(write)));
    if (recording->format_ == nullptr || recording->packet_ == nullptr) recording->broken_ = true;
    return recording;
}

StreamRecording::StreamRecording(std::filesystem::path name, RecordingFile::WriteFunction write)
    : path_(std::move(name)), write_(std::move(write))
{
    packet_ = av_packet_alloc();
    if (avformat_alloc_output_context2(&format_, nullptr, "matroska", nullptr) < 0) format_ = nullptr;
    // Each cluster reaches the file as soon as the muxer closes it.
    if (format_ != nullptr) av_opt_set_int(format_, "flush_packets", 1, 0);
}

StreamRecording::~StreamRecording() { finish(); }

bool StreamRecording::isVideoKeyFrame(const AVFormatContext& input, const AVPacket& packet)
{
    return (packet.flags & AV_PKT_FLAG_KEY) != 0 && packet.stream_index >= 0 &&
           packet.stream_index == videoStreamOf(input);
}

int StreamRecording::trackOf(int inputStream) const
{
    if (inputStream < 0 || static_cast<size_t>(inputStream) >= trackOfInput_.size()) return -1;
    return trackOfInput_[static_cast<size_t>(inputStream)];
}

void StreamRecording::takeInput(const AVFormatContext& input)
{
    input_ = &input;
    inputStreams_ = input.nb_streams;
    anchored_ = false;
    trackOfInput_.assign(input.nb_streams, -1);

    // The input's video stream first, then its audio streams in order.
    std::vector<Track> offered;
    const int video = videoStreamOf(input);
    for (unsigned k = 0; k < input.nb_streams && video >= 0; ++k) {
        const AVCodecParameters& par = *input.streams[k]->codecpar;
        const bool isVideo = static_cast<int>(k) == video;
        if (!isVideo && (par.codec_type != AVMEDIA_TYPE_AUDIO || !recordable(par))) continue;
        if (!isVideo && !takesSound(*format_->oformat, par.codec_id)) continue;
        Track t;
        t.video = isVideo;
        t.reorders = isVideo && par.video_delay > 0;
        t.inputIndex = static_cast<int>(k);
        t.parameters = {par.codec_type, par.codec_id,       par.width, par.height, par.sample_rate,
                        par.ch_layout.nb_channels, {par.extradata, par.extradata + par.extradata_size}};
        if (isVideo)
            offered.insert(offered.begin(), std::move(t));
        else
            offered.push_back(std::move(t));
    }

    if (!started_) {
        // An input without pictures gives nothing to record yet: its packets
        // are ignored until an input with a video stream comes.
        tracks_ = std::move(offered);
        inputMatches_ = true;
    } else {
        inputMatches_ = offered.size() == tracks_.size();
        for (size_t n = 0; inputMatches_ && n < offered.size(); ++n)
            inputMatches_ = offered[n].parameters == tracks_[n].parameters;
        if (!inputMatches_) return;
        for (size_t n = 0; n < offered.size(); ++n) {
            Track& t = tracks_[n];
            t.inputIndex = offered[n].inputIndex;
            t.lastInMs = none;
            t.correctionMs = 0;
        }
    }
    for (size_t n = 0; n < tracks_.size(); ++n)
        trackOfInput_[static_cast<size_t>(tracks_[n].inputIndex)] = static_cast<int>(n);
}

bool StreamRecording::start(const AVFormatContext& input, int64_t receivedMs, const AVPacket& keyFrame)
{
    // Made under the name given at create(); a file that took that name
    // meanwhile is not replaced (this one gets the next free name).
    file_ = RecordingFile::create(path_, write_);
    if (!file_) return false;
    path_ = file_->path();
    io_ = openRecordingIo(*file_, ioBufferSize);
    if (io_ == nullptr) return false;
    format_->pb = io_;
    started_ = true;
    for (const Track& t : tracks_) {
        AVStream* stream = avformat_new_stream(format_, nullptr);
        if (stream == nullptr) return false;
        const AVCodecParameters& from = *input.streams[t.inputIndex]->codecpar;
        if (avcodec_parameters_copy(stream->codecpar, &from) < 0) return false;
        stream->codecpar->codec_tag = 0;  // the input container's tag means nothing here
        stream->time_base = milliseconds;
        const bool annexB = from.codec_id == AV_CODEC_ID_H264 || from.codec_id == AV_CODEC_ID_HEVC;
        if (t.video && from.extradata_size == 0 && annexB) {
            const std::vector<uint8_t> sets = parameterSets(from.codec_id, keyFrame.data, keyFrame.size);
            if (!sets.empty()) {
                auto* extradata = static_cast<uint8_t*>(av_mallocz(sets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
                if (extradata == nullptr) return false;
                std::copy(sets.begin(), sets.end(), extradata);
                stream->codecpar->extradata = extradata;
                stream->codecpar->extradata_size = static_cast<int>(sets.size());
            }
        }
    }
    av_dict_set(&format_->metadata, "creation_time", isoTime(receivedMs).c_str(), 0);
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "cluster_time_limit", clusterMs, 0);
    // No CRC-32 element per cluster: readers do not check it unless asked,
    // and computing it over every packet costs more than anything else
    // this copy does on its own.
    av_dict_set_int(&options, "write_crc32", 0, 0);
    const int rc = avformat_write_header(format_, &options);
    av_dict_free(&options);
    if (rc < 0) {
        format_->pb = nullptr;  // nothing more goes to the file
        return false;
    }
    avio_flush(format_->pb);
    return true;
}

StreamRecording::Write StreamRecording::write(const AVFormatContext& input, const AVPacket& packet,
                                              int64_t receivedMs, uint64_t connection)
{
    if (finished_ || broken_) return Write::Lost;
    if (&input != input_ || connection != connection_ || input.nb_streams != inputStreams_) {
        connection_ = connection;
        takeInput(input);
    }
    int n = trackOf(packet.stream_index);
    if (n >= 0) {
        // The same address may be a new connection whose camera changed its
        // stream: its parameters decide, not the address.
        const AVCodecParameters& par = *input.streams[packet.stream_index]->codecpar;
        const Parameters& p = tracks_[static_cast<size_t>(n)].parameters;
        if (par.codec_id != p.codecId || par.width != p.width || par.height != p.height ||
            par.sample_rate != p.sampleRate || par.extradata_size != static_cast<int>(p.extradata.size()) ||
            !std::equal(p.extradata.begin(), p.extradata.end(), par.extradata)) {
            takeInput(input);
            n = trackOf(packet.stream_index);
        }
    }
    if (!inputMatches_) return Write::StreamsChanged;
    if (n < 0) return Write::Ignored;
    Track& track = tracks_[static_cast<size_t>(n)];

    bool fileFirst = false;
    if (!anchored_) {
        if (!track.video || (packet.flags & AV_PKT_FLAG_KEY) == 0) return Write::WaitingForKeyFrame;
        int64_t target = 0;
        if (started_) {
            // A reconnect: the file goes on after the time that passed.
            int64_t last = 0;
            for (const Track& t : tracks_) last = std::max(last, t.maxOutMs);
            target = last + std::max<int64_t>(1, receivedMs - lastReceivedMs_);
        } else if (!start(input, receivedMs, packet)) {
            broken_ = true;
            return Write::Lost;
        } else {
            fileFirst = true;
        }
        const AVStream& stream = *input.streams[packet.stream_index];
        const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
        inputOffsetMs_ = target - (ts != AV_NOPTS_VALUE ? av_rescale_q(ts, stream.time_base, milliseconds) : 0);
        anchorMs_ = target;
        anchored_ = true;
    }
    const Write written = writeTrack(track, n, input, packet, receivedMs);
    // The file's first picture reaches it at once: from the moment the file
    // exists, a kill leaves one that shows a picture.
    if (fileFirst) flush();
    return written;
}

StreamRecording::Write StreamRecording::writeTrack(Track& track, int trackIndex, const AVFormatContext& input,
                                                   const AVPacket& packet, int64_t receivedMs)
{
    const AVStream& in = *input.streams[packet.stream_index];
    const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    int64_t inMs = 0;
    if (ts != AV_NOPTS_VALUE)
        inMs = av_rescale_q(ts, in.time_base, milliseconds);
    else if (track.lastInMs != none)
        inMs = track.lastInMs + std::max<int64_t>(1, receivedMs - track.lastReceivedMs);  // no time: its arrival
    else
        inMs = anchorMs_ - inputOffsetMs_;

    if (track.lastInMs != none) {
        const int64_t step = inMs - track.lastInMs;
        const int64_t waited = std::max<int64_t>(0, receivedMs - track.lastReceivedMs);
        // Reordered pictures step back a little; further back, or far beyond
        // the time that passed, is the camera's clock jumping: go on after
        // the latest frame by the time that passed.
        const int64_t back = track.reorders ? jumpToleranceMs : 0;
        if (step < -back || step > waited + jumpToleranceMs)
            track.correctionMs = track.maxOutMs + std::max<int64_t>(1, waited) - (inMs + inputOffsetMs_);
    }
    int64_t shown = inMs + inputOffsetMs_ + track.correctionMs;
    if (track.lastInMs == none && shown < anchorMs_) return Write::Ignored;  // sound from before the picture
    if (track.lastOutMs != none && !track.reorders) {
        if (track.video && shown <= track.lastOutMs) shown = track.lastOutMs + 1;
        if (!track.video && shown < track.lastOutMs) shown = track.lastOutMs;
    }
    // Matroska keeps presentation times only; the muxer still wants decode
    // times that never fall and never pass them. A camera that reorders
    // pictures but sends no decode times gets them trailing by a margin.
    int64_t decoded = shown;
    if (packet.pts != AV_NOPTS_VALUE && packet.dts != AV_NOPTS_VALUE)
        decoded = shown - av_rescale_q(packet.pts - packet.dts, in.time_base, milliseconds);
    else if (track.reorders)
        decoded = shown - reorderMarginMs;
    decoded = std::max(decoded, track.lastDtsMs != none ? track.lastDtsMs : 0);
    shown = std::max(shown, decoded);

    const AVRational tb = format_->streams[trackIndex]->time_base;
    packet_->data = packet.data;
    packet_->size = packet.size;
    packet_->stream_index = trackIndex;
    packet_->dts = av_rescale_q(decoded, milliseconds, tb);
    packet_->pts = av_rescale_q(shown, milliseconds, tb);
    packet_->duration = packet.duration > 0 ? av_rescale_q(packet.duration, in.time_base, tb) : 0;
    // Every sound frame decodes on its own; marked so, seeking may land on it.
    packet_->flags = track.video ? (packet.flags & AV_PKT_FLAG_KEY) : AV_PKT_FLAG_KEY;
    packet_->pos = -1;
    const int rc = av_write_frame(format_, packet_);
    packet_->data = nullptr;
    packet_->size = 0;
    if (rc < 0) return Write::Lost;

    track.lastInMs = inMs;
    track.lastOutMs = shown;
    track.maxOutMs = std::max(track.maxOutMs, shown);
    track.lastDtsMs = decoded;
    track.lastReceivedMs = receivedMs;
    lastReceivedMs_ = receivedMs;
    unflushed_ = true;
    if (track.video) ++framesWritten_;
    return Write::Written;
}

int64_t StreamRecording::inputMs(const AVFormatContext& input, const AVPacket& packet)
{
    const int64_t ts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (ts == AV_NOPTS_VALUE || packet.stream_index < 0 || static_cast<unsigned>(packet.stream_index) >= input.nb_streams)
        return none;
    return av_rescale_q(ts, input.streams[packet.stream_index]->time_base, milliseconds);
}

void StreamRecording::cutAt(const AVFormatContext& input, const AVPacket& keyFrame, int64_t receivedMs,
                            uint64_t connection)
{
    cut_ = true;
    cutReceivedMs_ = receivedMs;
    cutInMs_ = inputMs(input, keyFrame);
    // Sound of another input, or a cut without a time, cannot be placed
    // against it: nothing more comes here.
    cutInputGone_ = &input != input_ || connection != connection_ || cutInMs_ == none || !anchored_;
    for (Track& t : tracks_) t.pastCut = t.video;
}

bool StreamRecording::writeBeforeCut(const AVFormatContext& input, const AVPacket& packet, int64_t receivedMs,
                                     uint64_t connection)
{
    if (!cut_ || cutInputGone_ || finished_ || broken_) return false;
    if (&input != input_ || connection != connection_ || input.nb_streams != inputStreams_) {
        cutInputGone_ = true;
        return false;
    }
    const int n = trackOf(packet.stream_index);
    if (n < 0) return false;
    Track& track = tracks_[static_cast<size_t>(n)];
    if (track.pastCut) return false;
    const int64_t ms = inputMs(input, packet);
    if (ms == none || ms >= cutInMs_) {
        track.pastCut = true;
        return false;
    }
    writeTrack(track, n, input, packet, receivedMs);
    return true;
}

bool StreamRecording::cutComplete(int64_t nowMs) const
{
    if (!cut_) return false;
    if (cutInputGone_ || finished_ || broken_ || nowMs - cutReceivedMs_ >= lateSoundMs) return true;
    return std::all_of(tracks_.begin(), tracks_.end(), [](const Track& t) { return t.pastCut; });
}

void StreamRecording::flush()
{
    if (finished_ || broken_ || !started_ || format_ == nullptr || format_->pb == nullptr) return;
    av_write_frame(format_, nullptr);  // ends the cluster
    avio_flush(format_->pb);
    unflushed_ = false;
}

void StreamRecording::finish()
{
    if (finished_) return;
    finished_ = true;
    const bool headerWritten = format_ != nullptr && format_->pb != nullptr && started_;
    const bool fileMade = file_ != nullptr;
    if (headerWritten) {
        av_write_trailer(format_);
        avio_flush(format_->pb);
    }
    av_packet_free(&packet_);
    freeMuxer(format_, io_);
    file_.reset();
    if (fileMade && !headerWritten) {
        // Made, but its header could not be written: no file rather than
        // one that no reader opens.
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
}

}  // namespace cx
