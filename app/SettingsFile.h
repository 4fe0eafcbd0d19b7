#pragma once
// Configuration.cvx: 46 little-endian 32-bit values, no header.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "Settings.h"

namespace cx {

inline constexpr const char* settingsFileName = "Configuration.cvx";
inline constexpr size_t settingsValueCount = 46;
inline constexpr size_t settingsFileSize = settingsValueCount * 4;

// Takes the values a file holds into `settings`. Value 0 (the background
// colour) is never taken; a short file sets only the values it holds
// whole; bytes past the 46th value are ignored. No range checks.
void applySettingsBytes(Settings& settings, std::span<const uint8_t> bytes);

// The 184 bytes that represent `settings`.
std::vector<uint8_t> settingsBytes(const Settings& settings);

// Reads <folder>/Configuration.cvx; a missing or unreadable file leaves
// every value as it is.
void loadSettings(Settings& settings, const std::filesystem::path& folder);

// Writes <folder>/Configuration.cvx through a temporary file and a rename,
// so a crash leaves the old or the new file whole. Returns false when the
// file could not be written; the old file and memory stay as they were.
bool saveSettings(const Settings& settings, const std::filesystem::path& folder);

}  // namespace cx
