#include "RecordingKinds.h"

#include "AsciiLower.h"
#include "RecordingReader.h"
#include "VideoFileReader.h"

namespace cx {

std::optional<RecordingKind> recordingKind(const std::filesystem::path& file)
{
    const std::string ext = asciiLower(file.extension().string());
    for (const RecordingExtension& e : recordingExtensions)
        if (ext == e.extension) return e.kind;
    return std::nullopt;
}

std::unique_ptr<ReplayReader> makeReplayReader(const std::filesystem::path& file)
{
    if (recordingKind(file) == RecordingKind::Avi) return std::make_unique<RecordingReader>();
    return std::make_unique<VideoFileReader>();
}

}  // namespace cx
