#pragma once
// The kinds of file replay lists and opens, by the ending of their names,
// and the reader of each. The one place to name a new kind.

#include <filesystem>
#include <memory>
#include <optional>

namespace cx {

class ReplayReader;

enum class RecordingKind {
    Avi,        // our recorder's MJPEG and bitmap files (RecordingReader)
    VideoFile,  // a camera's stream as received, H.264 or H.265 (VideoFileReader)
};

struct RecordingExtension {
    const char* extension;  // lower case, with its dot
    RecordingKind kind;
};

inline constexpr RecordingExtension recordingExtensions[] = {
    {".avi", RecordingKind::Avi},
    {".mkv", RecordingKind::VideoFile},
};

// The kind a file's name ending (in any case) says; nothing for others.
std::optional<RecordingKind> recordingKind(const std::filesystem::path& file);

// The reader for `file`, not yet open: by its kind, and for a name of no
// kind the one that reads whatever FFmpeg reads.
std::unique_ptr<ReplayReader> makeReplayReader(const std::filesystem::path& file);

}  // namespace cx
