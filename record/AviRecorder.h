#pragma once
// Opens, writes, rolls over and closes the AVI recordings of the cameras.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "AviRecording.h"

namespace cx {

class AppState;
class Clock;
class Notifier;

inline constexpr const char* openingRecordingFailedText = "FAILURE: Opening AVI file...";

// One per process. The frame counter it keeps is shared by all cameras and
// guarded by frameLock, like the recordings in AppState::aviFile.
class AviRecorder {
public:
    AviRecorder(AppState& state, Notifier& notifier, const Clock& clock);

    // "video/<camera>/Date_DD_MM_YYYY_Time_HH_MM_SS.avi" for the local time
    // now, relative to the program folder.
    std::filesystem::path BuildRecordingName(int slot) const;

    // Opens a recording for `slot` at `path` (relative paths are taken from
    // the program folder) and stores it in the slot's aviFile. Never
    // replaces a file: a taken name gets a numbered variant. When no file can
    // be created the user is told and the slot records nothing. Takes
    // frameLock (UI thread); the caller sets segmentStart and the flag.
    bool OpenRecording(const std::filesystem::path& path, int slot);

    // Completes and drops the slot's recording, if any. Takes frameLock.
    void CloseRecording(int slot);

    // Called by the slot's worker holding frameLock, for a frame the slot's
    // flags say is recorded: appends it at 10 positions per frame-counter
    // step, then rolls over to a new file when the slot takes part in the
    // schedule and its segment is long enough. `jpeg` is the frame as
    // received; `picture` the decoded one (full size when wantsPixels).
    void WriteFrame(int slot, int width, int height, std::span<const uint8_t> jpeg, const DecodedPicture& picture);

    // The slot's recording stores pixels, so its frames must be decoded at
    // full size. Caller holds frameLock.
    bool wantsPixels(int slot) const;

    // Shows the message of a roll-over whose new file could not be opened.
    // Called by the worker once it has released frameLock: a message box
    // waits for the UI thread, which may itself be waiting for frameLock.
    void reportPendingFailure();

    // The value the next written frame takes.
    int64_t frameCounter() const { return frameCounter_; }

    // Tests route the recordings' file writes through here.
    void setWriteFunction(RecordingFile::WriteFunction write) { write_ = std::move(write); }

private:
    bool openLocked(const std::filesystem::path& path, int slot);
    void closeLocked(int slot);

    AppState& state_;
    Notifier& notifier_;
    const Clock& clock_;
    std::atomic<int> pendingFailure_{0};  // set under frameLock, reported without it
    int64_t frameCounter_ = 1;  // 64 bits: never wraps while the program runs
    RecordingFile::WriteFunction write_;
};

}  // namespace cx
