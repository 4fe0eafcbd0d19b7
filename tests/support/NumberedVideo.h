#pragma once
// Video files whose every frame shows its own number, written as a
// camera's stream is recorded (libx264 or libx265 packets muxed into
// Matroska), and the same files decoded straight through, packet after
// packet with no seek, as the reference a reader's pictures are compared
// with.

#include <QImage>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace cx::test {

// Frame n's number: 8 bits as blocks across the top quarter, dark for 0
// and light for 1, readable at any size the picture is scaled to.
inline constexpr int numberBits = 8;

struct NumberedVideo {
    int frames = 40;
    int width = 320, height = 240;
    int fps = 25;
    std::string encoder = "libx264";
    // The encoder's options, "name=value" separated by ';' (codec options
    // such as g and bf, and the encoder's own such as x265-params).
    std::string options = "preset=veryfast;g=12;keyint_min=12;sc_threshold=0;bf=0";
    // The first frame's wall time as the container's creation_time
    // ("2026-03-01T09:59:58.250Z"); none when empty.
    std::string creationTime;
    // Matroska clusters at most this long (0: the muxer's choice).
    int clusterMs = 0;
};

// Frame n's grey picture: the number's blocks over a gradient that moves
// with n, so neighbouring frames differ everywhere and the encoder's
// predictions have something to follow.
std::vector<uint8_t> numberedPicture(int n, int width, int height);
// The number a picture shows (any size), or -1 when a block is unclear.
int shownNumber(const QImage& picture);
// Mean absolute difference per channel of two pictures; huge when their
// sizes differ.
double meanDifference(const QImage& a, const QImage& b);

// Encodes the numbered frames into `file` (its ending names the container).
bool writeNumberedVideo(const std::filesystem::path& file, const NumberedVideo& video);
// Every frame of `file`'s video in display order, decoded straight through.
std::vector<QImage> straightDecode(const std::filesystem::path& file);
// Where each video packet lies in the file (byte offset, size), in file order.
std::vector<std::pair<int64_t, int64_t>> packetPlaces(const std::filesystem::path& file);
// The frames ffprobe decodes in the file's video stream; -1 when it fails.
int ffprobeFrameCount(const std::filesystem::path& file);

}  // namespace cx::test
