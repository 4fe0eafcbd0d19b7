#pragma once
// What the engine publishes: an immutable picture of the cameras, their
// connections and recordings, and the options, made anew on the engine's
// thread whenever one of them changes (and every second for the frame
// rates). Front ends read it and keep no state of their own about cameras.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "CameraTable.h"
#include "ConnectionState.h"
#include "Settings.h"

namespace cx {

struct CameraStatus {
    std::string name;
    CameraEntry entry;  // address "host:port", login, password, model code, RTSP settings
    SlotFlips flips;
    CameraDefaults defaults;
    // Why the camera's row cannot be served ("unknown camera model 77");
    // empty when it can. Such a camera never connects.
    std::string problem;
    ConnectionState connection = ConnectionState::Idle;
    int64_t offlineSince = 0;  // wall-clock second the connection last failed
    int framesReceived = 0;
    float frameRate = 0.0f;
    bool manualRecording = false;     // started by hand
    bool scheduledRecording = false;  // started by the timetable
    bool fileOpen = false;            // a recording file is open now
    bool fileOpening = false;         // an open was asked for and has not ended yet

    // Started and not stopped, whether or not its file could be opened:
    // what the status line, the recording window, the pane and the tray
    // call recording.
    bool recording() const { return manualRecording || scheduledRecording; }
};

struct EngineSnapshot {
    std::filesystem::path programFolder;
    std::vector<CameraStatus> cameras;  // slot order, at most maxCameras
    SettingsValues settings;
    std::string statusText;  // the skin's greeting, later camera messages
    bool recordingSuspended = false;
    bool exitRequested = false;

    int cameraCount() const { return static_cast<int>(cameras.size()); }
    const CameraStatus* camera(int slot) const
    {
        return slot >= 0 && slot < cameraCount() ? &cameras[static_cast<size_t>(slot)] : nullptr;
    }
    bool recording(int slot) const
    {
        const CameraStatus* c = camera(slot);
        return c != nullptr && c->recording();
    }
    int recordingCount() const
    {
        int n = 0;
        for (const CameraStatus& c : cameras) n += c.recording() ? 1 : 0;
        return n;
    }
};

}  // namespace cx
