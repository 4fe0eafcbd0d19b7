#pragma once
// Opens, writes, rolls over and closes the recordings of the cameras: AVI
// files of pictures, and for RTSP cameras copies of their packets.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

#include "AviRecording.h"
#include "CameraTable.h"
#include "StreamRecording.h"

struct AVFormatContext;
struct AVPacket;

namespace cx {

class AppState;
class Clock;
class Notifier;

inline constexpr const char* openingRecordingFailedText = "FAILURE: Opening AVI file...";

// One per process. A slot's recording (AppState::aviFile, or streamFile for
// an RTSP camera) is opened, written, rolled over and closed under that
// slot's recordLock, so one camera's slow disk delays no other camera. The
// frame counter is shared by all cameras and atomic.
class AviRecorder {
public:
    AviRecorder(AppState& state, Notifier& notifier, const Clock& clock);

    // "video/<camera>/Date_DD_MM_YYYY_Time_HH_MM_SS.avi" for the local time
    // now, relative to the program folder; ".mkv" for an RTSP camera.
    std::filesystem::path BuildRecordingName(int slot) const;

    // Opens a recording for `slot` at `path` (relative paths are taken from
    // the program folder) and stores it in the slot's aviFile, or streamFile
    // when the slot's camera is an RTSP camera. Never
    // replaces a file: a taken name gets a numbered variant. When no file can
    // be created the user is told and the slot records nothing. Takes
    // recordLock[slot] (UI thread); the caller sets segmentStart and the flag.
    // A failure is told every time (a user's own request), or once until the
    // slot opens a file again (the schedule's retries).
    enum class FailureReport { Always, OncePerEpisode };
    bool OpenRecording(const std::filesystem::path& path, int slot, FailureReport report = FailureReport::Always);

    // Completes and drops the slot's recording, if any. Takes recordLock[slot].
    void CloseRecording(int slot);
    // The same, unless the slot's worker holds the lock past `deadline` (a
    // write stuck on a hung disk): then false and the file is left as a
    // crash would leave it. The exit uses it to stay within its time.
    bool CloseRecordingBefore(int slot, std::chrono::steady_clock::time_point deadline);

    // Called by the slot's worker holding recordLock[slot], for a frame the slot's
    // flags say is recorded: appends it at 10 positions per frame-counter
    // step, then rolls over to a new file when the slot takes part in the
    // schedule and its segment is long enough. `jpeg` is the frame as
    // received; `picture` the decoded one (full size when wantsPixels).
    void WriteFrame(int slot, int width, int height, std::span<const uint8_t> jpeg, const DecodedPicture& picture);

    // Called by an RTSP camera's connection holding recordLock[slot], for
    // each packet of the camera's main stream (`input` its demuxer) while
    // the slot records: copies it into the slot's streamFile, stamped with
    // the clock's time now. When the slot takes part in the schedule and its
    // segment is long enough, the next file starts with the first video key
    // frame after that, so no frame is lost or written twice between
    // segments; the old file stays open a little longer for the sound
    // stamped before that key frame that comes after it (its close is told
    // then), so no sound is lost or written twice either. A connection
    // whose streams differ from the file's starts a new file at once (its
    // first key frame opens it).
    // `connection`: the client's number of the input (see StreamRecording::write).
    void writePacket(int slot, const AVFormatContext& input, const AVPacket& packet, uint64_t connection = 0);

    // An RTSP slot's recording that got nothing for `idleMs` hands what it
    // holds to the file, and a file cut at a segment's end whose late sound
    // can no longer come is completed. Takes recordLock[slot]: run by the
    // slot's recording job, which the engine posts every second.
    void flushIdleStream(int slot, int64_t idleMs);

    // The slot's camera is an RTSP camera: its recordings copy packets.
    bool recordsPackets(int slot) const;
    // A file of the slot cut at a segment's end still waits for late sound
    // (flushIdleStream completes it); any thread.
    bool finishingCut(int slot) const;

    // The slot's recording stores pixels, so its frames must be decoded at
    // full size. Caller holds recordLock[slot].
    bool wantsPixels(int slot) const;

    // Shows the message of a roll-over whose new file could not be opened.
    // Called by the worker once it has released recordLock: the message is
    // not raised while a lock the UI thread may want is held.
    void reportPendingFailure();

    // The value the next written frame takes.
    int64_t frameCounter() const { return frameCounter_.load(); }

    // Told, under the slot's recordLock, whenever a recording file of the
    // slot was opened or closed (also at a roll-over); must not block.
    using RecordingEvent = std::function<void(int slot, const std::filesystem::path& file, bool opened)>;
    void setRecordingEvent(RecordingEvent event) { event_ = std::move(event); }

    // Tests route the recordings' file writes through here.
    void setWriteFunction(RecordingFile::WriteFunction write) { write_ = std::move(write); }

private:
    bool openLocked(const std::filesystem::path& path, int slot);
    // The slot's segment has run its time (schedule recordings only).
    bool segmentDue(int slot, int64_t now) const;
    // Closes the slot's file and opens the next; a failure is told later.
    void rollOver(int slot, int64_t now);
    // Rolls an RTSP slot's file over at `keyFrame`, keeping the old file for
    // late sound (ending_).
    void cutAt(int slot, int64_t now, const AVFormatContext& input, const AVPacket& keyFrame, int64_t receivedMs,
               uint64_t connection);
    // Completes the slot's file cut at a segment's end, if any.
    void finishEnding(int slot);
    void tellOpenFailure(int slot, FailureReport report);
    void closeLocked(int slot);

    AppState& state_;
    Notifier& notifier_;
    const Clock& clock_;
    std::array<std::atomic<int>, maxCameras> pendingFailure_{};  // a roll-over failed; set under recordLock, told without it
    std::array<std::atomic<int>, maxCameras> openFailureTold_{};  // 1 once told, 0 again after a good open
    // An RTSP slot's file cut at a segment's end, still taking late sound;
    // under the slot's recordLock.
    std::array<std::shared_ptr<StreamRecording>, maxCameras> ending_;
    std::array<std::atomic<bool>, maxCameras> endingOpen_{};  // ending_[slot] is set
    // The name the open event gave the slot's stream recording; under the slot's recordLock.
    std::array<std::filesystem::path, maxCameras> announced_;
    std::atomic<int64_t> frameCounter_{1};  // 64 bits: never wraps while the program runs
    RecordingFile::WriteFunction write_;   // set before recordings open
    RecordingEvent event_;                 // set before recordings open
};

}  // namespace cx
