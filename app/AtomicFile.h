#pragma once
// Files the program keeps (settings, timetable) are replaced whole: written
// to a temporary file beside the target, synced, then renamed over it, so a
// crash or power cut leaves the old file or the new one, never a part.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace cx {

// False when anything failed; the old file is then untouched and no
// temporary file is left behind.
bool writeFileAtomically(const std::filesystem::path& target, std::span<const uint8_t> bytes);

}  // namespace cx
