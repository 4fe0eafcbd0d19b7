#include "AviRecorder.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "AppState.h"
#include "Clock.h"
#include "FileStamp.h"
#include "Notifier.h"
#include "ProgramFolder.h"

namespace cx {

AviRecorder::AviRecorder(AppState& state, Notifier& notifier, const Clock& clock)
    : state_(state), notifier_(notifier), clock_(clock)
{
}

std::filesystem::path AviRecorder::BuildRecordingName(int slot) const
{
    return std::filesystem::path("video") / state_.cameraNameOf(slot) / (dateTimeStamp(clock_.now()) + ".avi");
}

bool AviRecorder::openLocked(const std::filesystem::path& path, int slot)
{
    if (!validSlot(slot)) return false;
    const auto i = static_cast<size_t>(slot);
    // A camera name such as ".." must not lead out of the recordings folder.
    for (const auto& part : path)
        if (!isSafeFileName(part.string()) && part != "/") return false;
    const std::filesystem::path full = path.is_relative() ? state_.programFolder / path : path;
    closeLocked(slot);
    state_.aviFile[i] = AviRecording::create(full, state_.settings.compressOptions, write_);
    if (state_.aviFile[i] == nullptr) return false;
    state_.recordingOpen[i] = 1;
    openFailureTold_[i] = 0;
    if (event_) event_(slot, state_.aviFile[i]->path(), true);
    return true;
}

void AviRecorder::closeLocked(int slot)
{
    if (!validSlot(slot)) return;
    auto& recording = state_.aviFile[static_cast<size_t>(slot)];
    if (recording == nullptr) return;
    const std::filesystem::path file = recording->path();
    recording.reset();  // completes the file
    state_.recordingOpen[static_cast<size_t>(slot)] = 0;
    if (event_) event_(slot, file, false);
}

bool AviRecorder::OpenRecording(const std::filesystem::path& path, int slot, FailureReport report)
{
    if (!validSlot(slot)) return false;
    bool opened = false;
    {
        std::lock_guard lock(state_.recordLock[static_cast<size_t>(slot)]);
        opened = openLocked(path, slot);
    }
    // Told outside the lock, so the cameras keep running while the message shows.
    if (!opened) tellOpenFailure(slot, report);
    return opened;
}

void AviRecorder::CloseRecording(int slot)
{
    if (!validSlot(slot)) return;
    std::lock_guard lock(state_.recordLock[static_cast<size_t>(slot)]);
    closeLocked(slot);
}

bool AviRecorder::CloseRecordingBefore(int slot, std::chrono::steady_clock::time_point deadline)
{
    if (!validSlot(slot)) return true;
    // Polled rather than a timed lock: the exit is rare, and a plain mutex
    // keeps every other user of the lock cheap and visible to the sanitizers.
    std::mutex& mutex = state_.recordLock[static_cast<size_t>(slot)];
    while (!mutex.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::lock_guard lock(mutex, std::adopt_lock);
    closeLocked(slot);
    return true;
}

bool AviRecorder::wantsPixels(int slot) const
{
    if (!validSlot(slot)) return false;
    const auto& recording = state_.aviFile[static_cast<size_t>(slot)];
    return recording != nullptr && recording->needsPixels();
}

void AviRecorder::WriteFrame(int slot, int width, int height, std::span<const uint8_t> jpeg,
                             const DecodedPicture& picture)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    const std::shared_ptr<AviRecording> recording = state_.aviFile[i];
    if (!recording) return;

    const int64_t counter = frameCounter_.fetch_add(1);
    RecordingFrame frame{jpeg, &picture, width, height, clock_.nowMs()};
    recording->write(frame, recording->positionFor(counter));  // a lost frame is not reported

    if (state_.settings.scheduleRecord[i].load() != 1) return;
    // Below one minute every frame would start a new file.
    const int64_t segment = std::max(1, state_.settings.segmentMinutes.load());
    const int64_t now = clock_.now();
    if ((now - state_.segmentStart[i].load()) / 60 < segment) return;
    closeLocked(slot);
    state_.segmentStart[i] = now;
    if (!openLocked(BuildRecordingName(slot), slot)) pendingFailure_[i] = 1;
}

void AviRecorder::reportPendingFailure()
{
    for (int slot = 0; slot < maxCameras; ++slot)
        if (pendingFailure_[static_cast<size_t>(slot)].exchange(0) == 1)
            tellOpenFailure(slot, FailureReport::OncePerEpisode);
}

void AviRecorder::tellOpenFailure(int slot, FailureReport report)
{
    // A roll-over or the schedule's retry every minute says it once until
    // the slot opens a file again: a full disk would otherwise repeat the box.
    const bool toldBefore = validSlot(slot) && openFailureTold_[static_cast<size_t>(slot)].exchange(1) == 1;
    if (toldBefore && report == FailureReport::OncePerEpisode) return;
    notifier_.notify(openingRecordingFailedText, "Corvanex", NotifyIcon::None);
}

}  // namespace cx
