#pragma once
// What the player asks of a recording, whatever kind of file holds it:
// its frames as pictures, any one in any order, and when each was taken.
// Not thread-safe: one thread uses one reader.

#include <QImage>
#include <QSize>

#include <filesystem>

#include "RecordingTimeline.h"

namespace cx {

class ReplayReader {
public:
    virtual ~ReplayReader() = default;

    // Opens `file` and indexes its frames; false when it is no readable
    // recording (nothing stays open then).
    virtual bool open(const std::filesystem::path& file) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int frameCount() const = 0;
    // Frame k as a picture; a null image when it cannot be decoded.
    virtual QImage frame(int k) = 0;
    // Pictures come scaled down to fit `size` (the aspect kept, never
    // enlarged); an empty size: as recorded.
    virtual void setMaxPictureSize(QSize size) = 0;
    // When each frame of the open file was taken.
    virtual RecordingTimeline timeline() const = 0;
};

// The size a picture of `size` is given under setMaxPictureSize(`max`).
inline QSize fittedPictureSize(QSize size, QSize max)
{
    if (max.isEmpty() || (size.width() <= max.width() && size.height() <= max.height())) return size;
    return size.scaled(max, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

}  // namespace cx
