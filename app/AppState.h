#pragma once
// The one application-state object: every per-camera table and global flag
// shared by the UI thread, the schedule tick and the camera workers.
//
// Threads: the UI thread runs windows, timers (the schedule tick among
// them) and every database operation; one camera worker per started slot
// writes only its own slot. Flags shared between threads are atomics read
// and written without locks; a worker sees a change at its next frame.

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
#include "Settings.h"

namespace cx {

class AviRecording;  // an open recording (record/)
class PaneBuffer;    // a camera pane's back buffer (picture/)

// What a slot's camera connection is doing, for the window to show.
enum class ConnectionState : int { Idle = 0, Connecting = 1, Live = 2, Offline = 3 };

// Per-slot frame-rate measurement; touched only by the slot's worker while
// it holds frameLock.
struct FrameRateState {
    int64_t frequency = 0;      // counter ticks per second, read when the camera starts
    int32_t interval = 30;      // frames per measuring block, never changed
    int32_t frameCounter = 0;
    int64_t intervalStart = 0;
    int64_t intervalEnd = 0;
    float lastFrameRate = 0.0f;
};

using SlotFlags = std::array<std::atomic<int>, maxCameras>;

class AppState {
public:
    AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    // --- Start-up values (UI thread) ---
    std::filesystem::path programFolder;
    std::string skinPackageName = "default.int";

    // Status line text: the skin's greeting at start, later camera and
    // recording messages. Written by the UI thread and by workers.
    std::string statusTextCopy() const;
    void setStatusText(const std::string& text);

    // --- Cameras (UI thread writes; see CameraTable) ---
    CameraTable cameraTable;
    std::atomic<int> loadedRows{0};  // rows taken by the last table load; UI thread writes
    // A copy of the slot's table entries, taken under frameLock (not to be
    // called while holding it).
    std::optional<CameraEntry> cameraEntry(int slot);
    std::array<CameraDefaults, maxCameras> cameraDefaults{};

    // Camera names: written by the UI thread (names load), read by workers
    // for snapshot and recording names. Guarded by namesLock.
    std::string cameraNameOf(int slot) const;
    void setCameraName(int slot, const std::string& name);
    void resetCameraNames();  // "Camera 1" .. "Camera 16"

    // --- Persisted options and per-slot flags (monitorEnabled, scheduleRecord) ---
    Settings settings;

    // --- Run-time per-slot state ---
    SlotFlags manualRecording{};     // UI thread writes (recording buttons, stop-all)
    SlotFlags scheduledRecording{};  // UI thread writes (schedule tick, stop-all)
    std::array<std::atomic<int64_t>, maxCameras> segmentStart{};  // whoever opens the slot's recording
    // Open recording of each slot. Guarded by frameLock: the UI thread
    // opens and closes under it, the worker writes frames under it.
    std::array<std::shared_ptr<AviRecording>, maxCameras> aviFile{};
    // The slot's pane. The UI thread sets it while building the grid and
    // clears it under frameLock before the pane goes away; workers use the
    // pane only while holding frameLock.
    std::array<std::atomic<PaneBuffer*>, maxCameras> viewWindow{};
    SlotFlags viewEnlarged{};      // UI thread
    SlotFlags snapshotRequest{};   // UI sets 1, the slot's worker clears it when it saves
    SlotFlags workerRunning{};     // 1 while the slot's worker thread runs; the worker clears it
    SlotFlags stopRequest{};       // UI sets, the slot's binary-protocol worker clears
    SlotFlags restartRequest{};    // UI sets, the slot's worker reads when it ends
    std::array<std::atomic<int>, maxCameras> protocolSocket{};  // socket of the binary protocol, -1 none; the slot's worker
    SlotFlags imageSize{};         // the slot's worker
    SlotFlags framesReceived{};    // the slot's worker
    std::array<FrameRateState, maxCameras> frameRate{};  // the slot's worker, under frameLock
    // Connection state, written by the slot's worker, read by the window.
    SlotFlags connectionState{};  // a ConnectionState value
    std::array<std::atomic<int64_t>, maxCameras> offlineSince{};  // wall-clock seconds
    std::array<std::atomic<int64_t>, maxCameras> nextRetry{};     // wall-clock seconds

    // --- Global flags ---
    std::atomic<int> highResolutionCounter{1};  // set when cameras are connected
    std::atomic<int> stopAllCameras{0};
    std::atomic<int> recordingSuspended{0};
    std::atomic<int> layoutRebuilding{0};
    std::atomic<int> runningProtocolWorkers{0};
    std::atomic<int> trayAnimationCounter{0};
    std::atomic<int> gridRows{2};
    std::atomic<int> gridColumns{2};

    // Serialises the per-frame work of all workers (decode, record, draw)
    // and the opening and closing of recordings.
    std::mutex frameLock;
    // Held by the audio reader around one read pass; nothing else takes it.
    std::mutex audioLock;

    // A frame of this slot is appended to its recording.
    bool slotRecords(int slot) const;

private:
    mutable std::mutex statusLock;
    std::string statusText;  // guarded by statusLock
    mutable std::mutex namesLock;
    std::array<std::string, maxCameras> cameraName;  // guarded by namesLock
};

inline bool validSlot(int slot) { return slot >= 0 && slot < maxCameras; }

}  // namespace cx
