// Untrusted camera bytes through the frame decoder and the pixel export
// that the recorder uses.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "BitmapExport.h"
#include "FrameDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Kept between inputs like the program keeps it between frames; the
    // pixel limit keeps single inputs fast.
    static cx::FrameDecoder& decoder = []() -> cx::FrameDecoder& {
        static cx::FrameDecoder d;
        d.setMaxPixels(1 << 20);
        return d;
    }();

    // The input is copied to a buffer of exactly its size, so any read past
    // the frame is caught.
    const std::vector<uint8_t> frame(data, data + size);
    const QSize panes[] = {{}, {200, 150}, {40, 30}};
    const cx::DecodeResult r = decoder.DecodeFrame(frame.data(), frame.size(), panes[size % 3]);
    if (!r.decoded) return 0;
    const cx::DecodedPicture& picture = decoder.currentPicture();
    if (picture.width != r.width || picture.height != r.height) __builtin_trap();
    std::vector<uint8_t> pixels(cx::bitmapImageSize(r.width, r.height));
    cx::SaveAsBitmap(picture, pixels.data(), pixels.size());
    return 0;
}
