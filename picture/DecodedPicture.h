#pragma once
// The one decoded picture of the process (the last frame of whichever
// camera was decoded last), used under frameLock.

#include <QImage>

namespace cx {

struct DecodedPicture {
    // The JPEG's own size: what the recorder and the pixel export use.
    int width = 0;
    int height = 0;
    // The decoded pixels (Format_RGB32). They may be smaller than
    // width x height when the decoder scaled the picture down for a small
    // pane. Null when there is no picture.
    QImage pixels;

    bool exists() const { return !pixels.isNull(); }
};

}  // namespace cx
