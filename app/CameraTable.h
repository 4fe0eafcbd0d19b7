#pragma once
// The configured cameras as loaded from the camera database, indexed by slot.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cx {

inline constexpr int maxCameras = 16;

// What an RTSP camera needs beyond the camera table's row; kept in a table
// of its own (the camera table's format stays as it is).
struct RtspSettings {
    std::string mainPath;  // e.g. "/Streaming/Channels/101"
    std::string subPath;   // empty: the camera has no sub stream
    bool udp = false;      // RTP over UDP instead of interleaved in the TCP connection
    bool operator==(const RtspSettings&) const = default;
};

// One camera's entries, copied out of the table.
struct CameraEntry {
    std::string address;
    std::string login;
    std::string password;
    int32_t type = 0;
    // An RTSP camera's settings; empty for other models, and for an RTSP
    // camera whose settings row is missing (it then stays offline).
    std::optional<RtspSettings> rtsp;
};

// Written only by the camera database loads on the UI thread, which put a
// new table in place under frameLock; other threads copy what they need
// under that lock (AppState::cameraEntry) or read it while holding it.
struct CameraTable {
    int32_t count = 0;
    std::vector<std::string> address;  // cameraIP ":" cameraport
    std::vector<std::string> login;
    std::vector<std::string> password;
    std::vector<int32_t> type;
    std::vector<int32_t> flipHorizontal;
    std::vector<int32_t> flipVertical;
    std::vector<std::optional<RtspSettings>> rtsp;

    // Empties the table: count 0, arrays released.
    void clear();
    // Allocates the arrays for n cameras (values empty / 0), count stays.
    void allocate(int n);
    // The slot's entries when the slot is configured and loaded.
    std::optional<CameraEntry> entry(int slot) const;
};

// The mirror flags of one configured slot.
struct SlotFlips {
    bool horizontal = false;
    bool vertical = false;
    bool operator==(const SlotFlips&) const = default;
};

// One load of the configured cameras: the table and, slot by slot, the
// names of the same rows. They come from one query so that a slot's name
// is always its own row's name.
struct LoadedCameras {
    CameraTable table;
    std::vector<std::string> names;  // names[i] is the name of table slot i
};

// Default flip values a camera's properties dialog falls back to.
struct CameraDefaults {
    int32_t flipHorizontal = 0;
    int32_t flipVertical = 0;
};

}  // namespace cx
