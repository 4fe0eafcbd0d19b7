#pragma once
// libavformat's output over a RecordingFile: the muxers of our recordings
// write and seek through it, so the file's handling of refused bytes (and
// the tests' injected disks) apply to them too.

#include <cstddef>

struct AVFormatContext;
struct AVIOContext;

namespace cx {

class RecordingFile;

// Null when it cannot be made. `bufferSize` bytes are handed to the file
// per system call at most; a flush hands over what is buffered.
AVIOContext* openRecordingIo(RecordingFile& file, size_t bufferSize);
// Frees the context and its buffer (not the file); null afterwards.
void closeRecordingIo(AVIOContext*& io);
// Frees a muxer that writes through `io`, then `io`; both null afterwards.
void freeMuxer(AVFormatContext*& format, AVIOContext*& io);

}  // namespace cx
