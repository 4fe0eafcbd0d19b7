#pragma once
// The user's persisted options and per-camera flags.

#include <array>
#include <atomic>
#include <cstdint>

#include "CameraTable.h"

namespace cx {

// Four-character code as the recorder and the settings file store it.
constexpr uint32_t fourCC(char a, char b, char c, char d)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) | (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}

// Compression options of a recording stream, in the field order the
// settings file and older configuration tools know. The two pointer fields
// and bytesPerSecond are never stored. Written only by start-up (reset and
// settings load) before any worker runs; read whenever a recording is
// opened: by the UI thread, or by a worker rolling over to a new file.
struct CompressOptions {
    uint32_t streamType = 0;
    uint32_t handler = 0;  // codec four-character code, 0 = none chosen
    uint32_t keyFrameInterval = 0;
    uint32_t quality = 0;
    uint32_t bytesPerSecond = 0;
    uint32_t flags = 0;
    uint32_t formatPointer = 0;
    uint32_t formatSize = 0;
    uint32_t parametersPointer = 0;
    uint32_t parametersSize = 0;
    uint32_t interleaveInterval = 0;

    // All fields zero, stream type "vids".
    void reset();
};

inline constexpr uint32_t defaultBackgroundColour = 0x000A72A9;  // 0x00BBGGRR
inline constexpr uint32_t defaultTextColour = 0x0096FAFF;
inline constexpr int defaultSegmentMinutes = 5;

// The options as plain values: what the engine publishes and what a front
// end hands back when the user changes them.
struct SettingsValues {
    uint32_t backgroundColour = defaultBackgroundColour;
    uint32_t textColour = defaultTextColour;
    int backgroundImageEnabled = 0;
    int scheduleMode = 0;
    int fixedImageSize = 0;
    int segmentMinutes = defaultSegmentMinutes;
    std::array<int, maxCameras> scheduleRecord{};
    std::array<int, maxCameras> monitorEnabled{};

    bool operator==(const SettingsValues&) const = default;
};

// Written by the engine's thread only (options dialog, recording and monitoring
// windows, settings load); workers read the atomics without locks.
struct Settings {
    std::atomic<uint32_t> backgroundColour{defaultBackgroundColour};
    std::atomic<uint32_t> textColour{defaultTextColour};  // read by workers for the caption
    std::atomic<int> backgroundImageEnabled{0};
    std::atomic<int> scheduleMode{0};     // read by workers (which frames are recorded)
    std::atomic<int> fixedImageSize{0};   // read by workers (drawing)
    std::atomic<int> segmentMinutes{defaultSegmentMinutes};  // read by workers (roll-over)
    CompressOptions compressOptions;      // start-up writes; read-only while workers run
    std::array<std::atomic<int>, maxCameras> scheduleRecord{};  // read by workers
    std::array<std::atomic<int>, maxCameras> monitorEnabled{};  // read by workers

    Settings();
    // Back to the values of a first start (compression options zero, no stream type).
    void setDefaults();
    SettingsValues values() const;
    // Takes every value but the compression options (start-up's alone).
    void assign(const SettingsValues& v);
};

}  // namespace cx
