#pragma once
// One open recording of an RTSP camera: the packets of its main stream
// copied as they arrive, without decoding, into a Matroska file that a
// killed process leaves readable up to its last half second (see
// docs/architecture.md, What survives a crash).

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "RecordingFile.h"

struct AVFormatContext;
struct AVIOContext;
struct AVPacket;

namespace cx {

class StreamRecording {
public:
    static constexpr const char* extension = ".mkv";
    // The muxer closes a cluster (and so hands it to the file) at least this
    // often in stream time: what a kill can cost at most, plus one packet.
    static constexpr int clusterMs = 500;
    // A timestamp that runs ahead of the receive clock by more than this, or
    // goes back, is a jump of the camera's clock, not a gap in the pictures.
    static constexpr int64_t jumpToleranceMs = 2000;
    // How far decode times trail presentation times for a camera that
    // reorders pictures and sends no decode times (longer than any reorder).
    static constexpr int64_t reorderMarginMs = 500;

    // Names the recording (never a file's name that is taken: such a name
    // gets "_2" and so on, see RecordingFile) and makes the file at the
    // first video key frame, with that frame in it at once: a recording
    // stopped or killed before it leaves no file that no reader opens.
    // Null when the folder cannot take a file.
    static std::shared_ptr<StreamRecording> create(const std::filesystem::path& wanted,
                                                   RecordingFile::WriteFunction write = {});
    ~StreamRecording();
    StreamRecording(const StreamRecording&) = delete;
    StreamRecording& operator=(const StreamRecording&) = delete;

    enum class Write {
        Written,
        WaitingForKeyFrame,  // before the first video key frame of the file or of a new input
        StreamsChanged,      // the input's streams differ from the file's: roll to a new file
        Ignored,             // a stream not recorded, or audio from before the picture starts
        Lost,                // the muxer refused it, or the file could not be set up or is finished
    };
    // `input` is the demuxer the packet came from: its first video stream
    // and its audio streams are recorded, others ignored. The file is set
    // up from the first input; a later input (a reconnect) with the same
    // streams continues it from its first video key frame, its timestamps
    // moved to follow on after the time that passed (`receivedMs`: wall
    // clock the packet arrived, ms since 1970). Timestamps in the file rise
    // even when the camera's clock jumps. The packet is not changed and not
    // kept. Bytes the disk refuses are lost quietly (RecordingFile).
    // A later input is told by its address, or by its streams' parameters
    // changing: a new connection whose demuxer reuses the old one's address
    // and streams is taken for the same input (its times still rise, but
    // its frames before a key frame are not held back).
    // `connection` tells connections apart when it is not 0 (the client's
    // number for each input it opens, since a new demuxer may take a freed
    // one's address).
    Write write(const AVFormatContext& input, const AVPacket& packet, int64_t receivedMs, uint64_t connection = 0);

    // Hands the cluster being filled to the file at once. The muxer holds it
    // until the next packet comes, so a camera that stalls or drops would
    // leave its last frames in memory for as long as it stays away.
    void flush();
    // Packets were written since the last flush, the last at `lastReceivedMs()`.
    bool unflushed() const { return unflushed_; }
    int64_t lastReceivedMs() const { return lastReceivedMs_; }

    // A segment's end. Sound and pictures come on their own ways, so sound
    // stamped before the video key frame that opens the next file may still
    // arrive after it: once cut there, the file takes only such sound of
    // the same input, until every sound track has passed the cut, another
    // input comes, or `lateSoundMs` have passed since (receive clock).
    static constexpr int64_t lateSoundMs = 1000;
    // Cuts at `keyFrame`, a video key frame of the current input that goes
    // to the next file.
    void cutAt(const AVFormatContext& input, const AVPacket& keyFrame, int64_t receivedMs, uint64_t connection = 0);
    // After the cut: writes `packet` when it is sound stamped before it
    // (true); false for what belongs to the next file.
    bool writeBeforeCut(const AVFormatContext& input, const AVPacket& packet, int64_t receivedMs,
                        uint64_t connection = 0);
    // After the cut: nothing more can come for this file (at once when it
    // records no sound).
    bool cutComplete(int64_t nowMs) const;

    // Completes the file (cues, duration). Also done by the destructor. A
    // recording that never got its first key frame leaves no file.
    void finish();

    // The recording's name; its file exists once the first key frame came.
    const std::filesystem::path& path() const { return path_; }
    // The file could not be made or set up: nothing will be recorded.
    bool failed() const { return broken_; }
    int framesWritten() const { return framesWritten_; }  // video frames

    // A key frame of the stream a recording takes as the input's video.
    static bool isVideoKeyFrame(const AVFormatContext& input, const AVPacket& packet);

private:
    StreamRecording(std::filesystem::path name, RecordingFile::WriteFunction write);

    // What must match for a later input to continue the file.
    struct Parameters {
        int mediaType = -1;
        int codecId = 0;
        int width = 0;
        int height = 0;
        int sampleRate = 0;
        int channels = 0;
        std::vector<uint8_t> extradata;
        bool operator==(const Parameters&) const = default;
    };
    struct Track {
        Parameters parameters;  // of the input the file was set up from
        bool video = false;
        int inputIndex = -1;                  // the stream in the current input
        int64_t lastInMs = INT64_MIN;         // the current input's last timestamp, ms
        int64_t correctionMs = 0;             // added after a jump of this stream's clock
        bool reorders = false;                // pictures come in decode order, not shown order
        int64_t lastOutMs = INT64_MIN;        // last presentation time written, ms from the file's start
        int64_t maxOutMs = 0;                 // the latest presentation time written
        int64_t lastDtsMs = INT64_MIN;        // last decode time written
        int64_t lastReceivedMs = 0;
        bool pastCut = false;                 // sound stamped at or after the cut came
    };

    void takeInput(const AVFormatContext& input);
    // Makes the file and sets its tracks up from `input`, dated `receivedMs`.
    bool start(const AVFormatContext& input, int64_t receivedMs, const AVPacket& keyFrame);
    // The packet's input time, ms; none without a timestamp.
    static int64_t inputMs(const AVFormatContext& input, const AVPacket& packet);
    // The track of an input stream; -1 when that stream is not recorded.
    int trackOf(int inputStream) const;
    Write writeTrack(Track& track, int trackIndex, const AVFormatContext& input, const AVPacket& packet,
                     int64_t receivedMs);

    std::unique_ptr<RecordingFile> file_;  // made by start()
    std::filesystem::path path_;
    RecordingFile::WriteFunction write_;
    AVFormatContext* format_ = nullptr;
    AVIOContext* io_ = nullptr;
    AVPacket* packet_ = nullptr;  // reused for every packet written
    std::vector<Track> tracks_;
    std::vector<int> trackOfInput_;  // the current input's streams
    const AVFormatContext* input_ = nullptr;
    uint64_t connection_ = 0;
    unsigned inputStreams_ = 0;
    bool inputMatches_ = true;  // the current input's streams are the file's
    bool anchored_ = false;     // the current input has reached its first key frame
    int64_t inputOffsetMs_ = 0; // input time + offset = file time
    int64_t anchorMs_ = 0;      // file time of the current input's first key frame
    int64_t lastReceivedMs_ = 0;
    bool started_ = false;
    bool broken_ = false;
    bool finished_ = false;
    int framesWritten_ = 0;
    bool unflushed_ = false;
    bool cut_ = false;
    bool cutInputGone_ = false;     // another input came after the cut
    int64_t cutInMs_ = 0;           // the cutting key frame's input time
    int64_t cutReceivedMs_ = 0;
};

}  // namespace cx
