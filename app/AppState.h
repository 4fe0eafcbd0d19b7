#pragma once
// The one application-state object: every per-camera table and global flag
// shared by the engine's (UI) thread, the schedule tick and the camera
// slots' threads. Only the engine holds it; front ends read its snapshot.
//
// Threads
//   UI thread   windows, timers (the schedule tick among them), every
//               database operation, the engine's commands.
//   worker[i]   one per started slot; writes only slot i's entries.
//
// Lock order (take left before right, never the other way round):
//   recordLock[i]  ->  namesLock  ->  frameLock
// statusLock and a PaneBuffer's own lock are leaves: nothing is taken while
// holding them. frameLock is held only for a copy or a small write (camera
// table, flips); nothing slow (decoding, drawing, disk, network) happens
// under it. No lock is held while a worker reads from the network. Events
// for the UI thread may be posted under recordLock or the workers' thread
// lock: posting takes only Qt's own queue lock, a leaf.
//
// Flags shared between threads are std::atomic<int> read and written
// without locks; a worker sees a change at its next frame.

#include <array>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CameraTable.h"
#include "ConnectionState.h"
#include "Settings.h"

namespace cx {

class AviRecording;     // an open recording of a picture camera (record/)
class StreamRecording;  // an open recording of an RTSP camera's packets (record/)
class PaneBuffer;    // a camera pane's back buffer (picture/)

// Per-slot frame-rate measurement. Owned by the slot's controller thread
// (StartFrameRate at every connection); the engine reads lastFrameRate.
struct FrameRateState {
    int64_t frequency = 0;      // counter ticks per second, read when the camera starts
    int32_t interval = 30;      // frames per measuring block, never changed
    int32_t frameCounter = 0;
    int64_t intervalStart = 0;
    int64_t intervalEnd = 0;
    std::atomic<float> lastFrameRate{0.0f};  // also read by the engine for its snapshot
};

using SlotFlags = std::array<std::atomic<int>, maxCameras>;

class AppState {
public:
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // --- Start-up values: written by the UI thread before any worker starts,
    // read-only afterwards ---
    std::filesystem::path programFolder;
    std::string skinPackageName = "default.int";

    // Status line text: the skin's greeting at start, later camera and
    // recording messages. Guarded by statusLock.
    std::string statusTextCopy() const;
    void setStatusText(const std::string& text);

    // --- Cameras ---
    // Guarded by frameLock: written only through replaceCameraTable,
    // clearCameraTable and setFlips (UI thread); other threads copy what
    // they need through cameraEntry and slotFlips.
    CameraTable cameraTable;
    std::atomic<int> loadedRows{0};  // rows taken by the last table load; UI thread writes
    // Puts a loaded table in place (the store's result goes through here).
    void replaceCameraTable(CameraTable table, int rows);
    // The exit step: count 0, arrays released.
    void clearCameraTable();
    // A copy of the slot's table entries; nothing for a slot not configured.
    std::optional<CameraEntry> cameraEntry(int slot) const;
    // The slot's flips; nothing when the table has no flip entry for it.
    std::optional<SlotFlips> slotFlips(int slot) const;
    // Sets the slot's flips in memory (the properties dialog and the view
    // buttons); false for a slot not configured.
    bool setFlips(int slot, int horizontal, int vertical);
    int cameraCount() const;

    std::array<CameraDefaults, maxCameras> cameraDefaults{};  // UI thread

    // Camera names: written by the UI thread (names load), read by workers
    // for snapshot and recording names. Guarded by namesLock.
    std::string cameraNameOf(int slot) const;
    // The same into `out`, reusing its storage (the frame path).
    void copyCameraName(int slot, std::string& out) const;
    void setCameraName(int slot, const std::string& name);
    // The names of one camera load, slot by slot from slot 0, under one hold
    // of namesLock; slots past them keep their names.
    void setCameraNames(const std::vector<std::string>& names);
    void resetCameraNames();  // "Camera 1" .. "Camera 16"

    // --- Persisted options and per-slot flags (monitorEnabled,
    // scheduleRecord): the UI thread writes, workers read the atomics ---
    Settings settings;

    // --- Run-time per-slot state ---
    SlotFlags manualRecording{};     // UI thread writes (recording commands, stop-all)
    SlotFlags scheduledRecording{};  // UI thread writes (schedule tick, stop-all)
    // Wall-clock second the slot's current file was opened: the UI thread
    // sets it before it opens a recording, the slot's worker at a roll-over
    // (under recordLock[slot]).
    std::array<std::atomic<int64_t>, maxCameras> segmentStart{};
    // Open recording of each slot, guarded by recordLock[slot]: the slot's
    // recording jobs open and close under it (the exit step too, with a
    // deadline), the slot's connection writes frames and rolls over under
    // it. One slot's slow disk write holds no other slot and never the UI.
    // A slot holds at most one of aviFile and streamFile: the kind follows
    // the camera's model when the file is opened (RTSP cameras' packets
    // are copied into streamFile, every other camera's pictures go to
    // aviFile).
    std::array<std::shared_ptr<AviRecording>, maxCameras> aviFile{};
    std::array<std::shared_ptr<StreamRecording>, maxCameras> streamFile{};
    std::array<std::mutex, maxCameras> recordLock;
    // 1 while aviFile[slot] or streamFile[slot] holds a file: set and
    // cleared with it under recordLock, read without the lock (the schedule
    // tick must never wait for a camera's disk).
    SlotFlags recordingOpen{};
    // The slot's pane: a back buffer owned by the engine for its whole life,
    // so a worker may draw into it without a lock of ours; null while the
    // slot has no pane. Written by the UI thread.
    std::array<std::atomic<PaneBuffer*>, maxCameras> viewWindow{};
    // 1 while someone sees the panes (a shown, not minimized window). At 0
    // frames are received, recorded and snapshotted but not decoded or
    // drawn. UI thread writes.
    std::atomic<int> picturesWanted{0};
    SlotFlags viewEnlarged{};      // UI thread
    SlotFlags snapshotRequest{};   // UI sets 1, the slot's worker clears it when it saves
    std::array<std::atomic<int>, maxCameras> protocolSocket{};  // binary-protocol socket, -1 none; the slot's worker
    SlotFlags imageSize{};         // the slot's worker
    SlotFlags framesReceived{};    // the slot's worker
    std::array<FrameRateState, maxCameras> frameRate{};  // the slot's worker (see FrameRateState)
    // When the slot's connection last failed; the slot's controller writes.
    std::array<std::atomic<int64_t>, maxCameras> offlineSince{};  // wall-clock seconds

    // --- Global flags ---
    std::atomic<int> highResolutionCounter{1};  // UI thread sets it when cameras are connected
    std::atomic<int> recordingSuspended{0};     // UI thread (tray stop-all, window shown again)
    std::atomic<int> trayAnimationCounter{0};   // UI thread (schedule tick)

    // Guards the camera table (see above); held briefly, never while
    // another lock is taken.
    mutable std::mutex frameLock;
    // Held by the audio reader around one read pass; nothing else takes it.
    std::mutex audioLock;

    // A frame of this slot is appended to its recording.
    bool slotRecords(int slot) const;
    // The slot's recording was started (by hand or by the timetable) and not
    // stopped: what the window, the pane's mark and the tray call recording,
    // whether or not its file could be opened.
    bool slotRecording(int slot) const;

private:
    mutable std::mutex statusLock;
    std::string statusText;  // guarded by statusLock
    mutable std::mutex namesLock;
    std::array<std::string, maxCameras> cameraName;  // guarded by namesLock
};

inline bool validSlot(int slot) { return slot >= 0 && slot < maxCameras; }

}  // namespace cx
