#pragma once
// Turns a received JPEG frame into the process-wide current picture.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <QSize>

#include "DecodedPicture.h"

namespace cx {

struct DecodeResult {
    bool decoded = false;
    // The JPEG's own size, or 320 x 240 when the frame did not decode.
    int width = 320;
    int height = 240;
};

// One per camera slot, used only by that slot's worker. Keeps its pixel
// storage between frames: a fresh 1 MB allocation per frame costs more in page faults than
// the decode of a small picture.
class FrameDecoder {
public:
    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Decodes `size` bytes at `data` into the current picture, replacing
    // the previous one. `drawSize` is the size the picture will be drawn at:
    // when it is smaller, the decoder scales in the DCT domain; empty means
    // full size (needed when the recorder stores pixels). The picture does
    // not refer to `data` afterwards. A frame that does not decode leaves no
    // picture. Recoverable damage (a stream cut short inside the image data)
    // still gives a picture, with the missing part grey.
    DecodeResult DecodeFrame(const uint8_t* data, size_t size, QSize drawSize = {});

    // Drops the current picture.
    void ReleasePicture();

    // The JPEG's own size from its header, without decoding (frames that
    // nobody sees still need it for the recording). Drops the current
    // picture; `decoded` tells whether the header could be read.
    DecodeResult readSize(const uint8_t* data, size_t size);

    const DecodedPicture& currentPicture() const { return picture_; }

    // Frames decoded so far (not header reads); any thread may read it.
    int64_t decodeCount() const { return decodes_.load(); }

    // False when the JPEG library could not be set up; the workers report
    // that and end.
    bool available() const { return handle_ != nullptr; }

    // Frames with more pixels than this are refused (a corrupt header can
    // announce 65535 x 65535; 4096 x 4096 covers every camera picture).
    void setMaxPixels(int64_t pixels) { maxPixels_ = pixels; }

private:
    void* handle_ = nullptr;
    std::vector<uint8_t> storage_;
    QImage view_;  // over storage_, kept while the picture size stays
    DecodedPicture picture_;
    int64_t maxPixels_ = int64_t{4096} * 4096;
    std::atomic<int64_t> decodes_{0};
};

}  // namespace cx
