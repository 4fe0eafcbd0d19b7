#include "AviRecorder.h"

#include <algorithm>
#include <mutex>
#include <thread>

#include "AppState.h"
#include "CameraModels.h"
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
    const char* extension = recordsPackets(slot) ? StreamRecording::extension : ".avi";
    return std::filesystem::path("video") / state_.cameraNameOf(slot) / (dateTimeStamp(clock_.now()) + extension);
}

bool AviRecorder::recordsPackets(int slot) const
{
    const std::optional<CameraEntry> entry = state_.cameraEntry(slot);
    return entry && acquisitionMethod(entry->type) == AcquisitionMethod::Rtsp;
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
    std::filesystem::path opened;
    if (recordsPackets(slot)) {
        // The timetable names every recording ".avi"; a copy of the
        // camera's stream is a Matroska file whoever named it.
        const std::filesystem::path named =
            full.extension() == ".avi" ? std::filesystem::path(full).replace_extension(StreamRecording::extension) : full;
        state_.streamFile[i] = StreamRecording::create(named, write_);
        if (state_.streamFile[i] == nullptr) return false;
        opened = state_.streamFile[i]->path();
        announced_[i] = opened;
    } else {
        state_.aviFile[i] = AviRecording::create(full, state_.settings.compressOptions, write_);
        if (state_.aviFile[i] == nullptr) return false;
        opened = state_.aviFile[i]->path();
    }
    state_.recordingOpen[i] = 1;
    openFailureTold_[i] = 0;
    if (event_) event_(slot, opened, true);
    return true;
}

void AviRecorder::closeLocked(int slot)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    std::filesystem::path file;
    if (state_.aviFile[i] != nullptr) {
        file = state_.aviFile[i]->path();
        state_.aviFile[i].reset();  // completes the file
    } else if (state_.streamFile[i] != nullptr) {
        file = state_.streamFile[i]->path();
        state_.streamFile[i].reset();
    } else {
        return;
    }
    state_.recordingOpen[i] = 0;
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
    finishEnding(slot);
    closeLocked(slot);
}

bool AviRecorder::finishingCut(int slot) const
{
    return validSlot(slot) && endingOpen_[static_cast<size_t>(slot)].load();
}

void AviRecorder::finishEnding(int slot)
{
    std::shared_ptr<StreamRecording>& ending = ending_[static_cast<size_t>(slot)];
    if (ending == nullptr) return;
    const std::filesystem::path file = ending->path();
    ending.reset();  // completes the file
    endingOpen_[static_cast<size_t>(slot)] = false;
    if (event_) event_(slot, file, false);
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
    finishEnding(slot);
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

    const int64_t now = clock_.now();
    if (segmentDue(slot, now)) rollOver(slot, now);
}

bool AviRecorder::segmentDue(int slot, int64_t now) const
{
    const auto i = static_cast<size_t>(slot);
    if (state_.settings.scheduleRecord[i].load() != 1) return false;
    // Below one minute every frame would start a new file.
    const int64_t segment = std::max(1, state_.settings.segmentMinutes.load());
    return (now - state_.segmentStart[i].load()) / 60 >= segment;
}

void AviRecorder::rollOver(int slot, int64_t now)
{
    const auto i = static_cast<size_t>(slot);
    closeLocked(slot);
    state_.segmentStart[i] = now;
    if (!openLocked(BuildRecordingName(slot), slot)) pendingFailure_[i] = 1;
}

void AviRecorder::cutAt(int slot, int64_t now, const AVFormatContext& input, const AVPacket& keyFrame,
                        int64_t receivedMs, uint64_t connection)
{
    const auto i = static_cast<size_t>(slot);
    finishEnding(slot);
    std::shared_ptr<StreamRecording> old = std::move(state_.streamFile[i]);
    state_.recordingOpen[i] = 0;
    old->cutAt(input, keyFrame, receivedMs, connection);
    if (old->cutComplete(receivedMs)) {
        // No sound to wait for: closed before the next opens, as any roll-over.
        const std::filesystem::path file = old->path();
        old.reset();
        if (event_) event_(slot, file, false);
    } else {
        ending_[i] = std::move(old);
        endingOpen_[i] = true;
    }
    state_.segmentStart[i] = now;
    if (!openLocked(BuildRecordingName(slot), slot)) pendingFailure_[i] = 1;
}

void AviRecorder::writePacket(int slot, const AVFormatContext& input, const AVPacket& packet, uint64_t connection)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    const int64_t receivedMs = clock_.nowMs();
    // Sound stamped before the last cut goes to the file it belongs to.
    if (ending_[i] != nullptr) {
        const bool taken = ending_[i]->writeBeforeCut(input, packet, receivedMs, connection);
        if (ending_[i]->cutComplete(receivedMs)) finishEnding(slot);
        if (taken) return;
    }
    if (state_.streamFile[i] == nullptr) return;
    const int64_t now = clock_.now();
    // A segment ends just before a key frame: the next file starts with it.
    if (state_.streamFile[i]->framesWritten() > 0 && segmentDue(slot, now) &&
        StreamRecording::isVideoKeyFrame(input, packet))
        cutAt(slot, now, input, packet, receivedMs, connection);
    if (state_.streamFile[i] == nullptr) return;
    const StreamRecording::Write written = state_.streamFile[i]->write(input, packet, receivedMs, connection);
    // The file is made at the first key frame: failing then is an open
    // that failed, told off the lock like a roll-over's. The recording
    // closes, so the timetable tries again as after any failed open.
    if (written == StreamRecording::Write::Lost && state_.streamFile[i]->failed() &&
        state_.streamFile[i]->framesWritten() == 0) {
        closeLocked(slot);
        pendingFailure_[i] = 1;
        return;
    }
    if (state_.streamFile[i]->path() != announced_[i]) {
        // The name was taken by the time the file was made: the file went
        // to the next free one, and the events follow it.
        if (event_) {
            event_(slot, announced_[i], false);
            event_(slot, state_.streamFile[i]->path(), true);
        }
        announced_[i] = state_.streamFile[i]->path();
    }
    if (written != StreamRecording::Write::StreamsChanged) return;
    // The camera came back with another stream (size, codec, sound): this
    // file cannot take it, so a new one starts with the new stream.
    rollOver(slot, now);
    if (state_.streamFile[i] != nullptr) state_.streamFile[i]->write(input, packet, receivedMs, connection);
}

void AviRecorder::flushIdleStream(int slot, int64_t idleMs)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    std::lock_guard lock(state_.recordLock[i]);
    if (ending_[i] != nullptr && ending_[i]->cutComplete(clock_.nowMs())) finishEnding(slot);
    StreamRecording* recording = state_.streamFile[i].get();
    if (recording != nullptr && recording->unflushed() && clock_.nowMs() - recording->lastReceivedMs() >= idleMs)
        recording->flush();
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
