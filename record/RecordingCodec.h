#pragma once
// What a recording stores, chosen by the handler code of the settings'
// compression options.

#include <cstdint>

namespace cx {

enum class RecordingFormat {
    Jpeg,     // the camera's JPEG bytes unchanged, as MJPEG
    Bitmap,   // uncompressed 24-bit bottom-up BGR ("DIB ")
    Encoded,  // pixels re-encoded by an FFmpeg encoder
};

struct RecordingCodec {
    RecordingFormat format = RecordingFormat::Jpeg;
    int codecId = 0;  // AVCodecID of the encoder when format is Encoded
};

// Handler 0, a code without an FFmpeg encoder and the MJPEG codes store the
// JPEG bytes; "DIB " stores bitmaps; any other code with an encoder
// (for example "FFV1", "XVID") uses it.
RecordingCodec chooseRecordingCodec(uint32_t handler);

}  // namespace cx
