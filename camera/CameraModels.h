#pragma once
// Camera model codes: their names, how each is acquired, and how a stream
// model frames its pictures.

#include <array>
#include <cstdint>
#include <string>

namespace cx {

using CameraType = int32_t;

struct CameraModel {
    const char* name;
    CameraType code;
};

inline constexpr std::array<CameraModel, 32> CameraModelTable{{
    {"INTELLINET", 0},      {"AXIS 2100", 1},     {"AXIS 2110", 2},        {"AXIS 2120", 3},
    {"AXIS 2130", 4},       {"AXIS 2420", 5},     {"AXIS 2400", 6},        {"AXIS 2401", 7},
    {"AXIS 230", 8},        {"AXIS 250S", 9},     {"AXIS 2400 Plus", 10},  {"AXIS 2401 Plus", 11},
    {"AXIS 2411", 12},      {"AXIS 2460", 13},    {"AXIS 205", 101},       {"AXIS 206", 102},
    {"AXIS 206M", 103},     {"AXIS 206W", 104},   {"AXIS 210 211", 105},   {"AXIS 241S", 106},
    {"AXIS 241Q", 107},     {"AXIS 213", 108},    {"AXIS 292", 109},       {"STARDOT TECH", 200},
    {"SONY", 703},          {"TOSHIBA", 800},     {"JVC", 900},            {"VIVOTEK", 500},
    {"CANON", 1000},        {"PANASONIC", 400},   {"VIDEO_INSIGHT", 1200}, {"D_LINK_DCW", 308},
}};

// Snapshot models: one HTTP request per frame.
inline constexpr std::array<CameraType, 9> snapshotTypes{200, 308, 400, 703, 707, 800, 900, 1000, 1200};

inline constexpr CameraType binaryProtocolType = 0;

// Cameras that stream H.264 or H.265 over RTSP: a model of our own, listed
// after the table's models. Its code clashes with no model or request-path
// code, and it is not a stream model (acquisitionMethod says Rtsp).
inline constexpr CameraType rtspType = 2000;
inline constexpr const char* rtspModelName = "RTSP (H.264/H.265)";
inline constexpr int rtspDefaultPort = 554;

enum class AcquisitionMethod { BinaryProtocol, Snapshot, Stream, Rtsp };

// The models the camera dialogs offer, in the order they list them: the
// table's, then RTSP.
inline constexpr std::array<CameraModel, CameraModelTable.size() + 1> listedCameraModels = [] {
    std::array<CameraModel, CameraModelTable.size() + 1> models{};
    for (size_t i = 0; i < CameraModelTable.size(); ++i) models[i] = CameraModelTable[i];
    models.back() = {rtspModelName, rtspType};
    return models;
}();

// Codes the request paths serve though no model of the table names them;
// databases of older versions hold them.
inline constexpr std::array<CameraType, 4> unlistedServedTypes{305, 600, 707, 1100};

// A code the program can connect a camera by: a listed model's or one of
// the unlisted served codes. A row with any other code stays offline.
bool isKnownCameraType(CameraType code);

AcquisitionMethod acquisitionMethod(CameraType code);

// Code of the listed model with exactly this name; -1 when none.
CameraType FindModelCode(const std::string& name);

// Text lines around each picture of a stream model. One more line (the
// blank line) always follows the length line before the picture bytes.
struct StreamFraming {
    int linesBeforeLength;
    int linesAfterImage;
};
StreamFraming streamFraming(CameraType code);

// Snapshot models that send a fixed number of bytes instead of a length.
inline constexpr int fixedSnapshotBytes = 57344;
bool readsFixedSnapshotSize(CameraType code);

}  // namespace cx
