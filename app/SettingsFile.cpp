#include "SettingsFile.h"
#include "AtomicFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace cx {

namespace {

uint32_t readLe32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void writeLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

int asInt(uint32_t v) { return static_cast<int>(static_cast<int32_t>(v)); }

// Field accessors by index 1..13 of the file layout (value 0 is never read).
void setValue(Settings& s, size_t index, uint32_t v)
{
    CompressOptions& c = s.compressOptions;
    switch (index) {
    case 1: s.textColour = v; break;
    case 2: s.backgroundImageEnabled = asInt(v); break;
    case 3: s.scheduleMode = asInt(v); break;
    case 4: s.fixedImageSize = asInt(v); break;
    case 5: s.segmentMinutes = asInt(v); break;
    case 6: c.streamType = v; break;
    case 7: c.handler = v; break;
    case 8: c.keyFrameInterval = v; break;
    case 9: c.quality = v; break;
    case 10: c.flags = v; break;
    case 11: c.formatSize = v; break;
    case 12: c.parametersSize = v; break;
    case 13: c.interleaveInterval = v; break;
    default:
        if (index >= 14 && index < 30) s.scheduleRecord[index - 14] = asInt(v);
        else if (index >= 30 && index < 46) s.monitorEnabled[index - 30] = asInt(v);
        break;
    }
}

}  // namespace

void applySettingsBytes(Settings& settings, std::span<const uint8_t> bytes)
{
    const size_t whole = std::min(bytes.size() / 4, settingsValueCount);
    for (size_t i = 1; i < whole; ++i) setValue(settings, i, readLe32(bytes.data() + 4 * i));
}

std::vector<uint8_t> settingsBytes(const Settings& s)
{
    std::vector<uint8_t> out;
    out.reserve(settingsFileSize);
    const CompressOptions& c = s.compressOptions;
    writeLe32(out, s.backgroundColour.load());
    writeLe32(out, s.textColour.load());
    writeLe32(out, static_cast<uint32_t>(s.backgroundImageEnabled.load()));
    writeLe32(out, static_cast<uint32_t>(s.scheduleMode.load()));
    writeLe32(out, static_cast<uint32_t>(s.fixedImageSize.load()));
    writeLe32(out, static_cast<uint32_t>(s.segmentMinutes.load()));
    for (uint32_t v : {c.streamType, c.handler, c.keyFrameInterval, c.quality, c.flags, c.formatSize,
                       c.parametersSize, c.interleaveInterval})
        writeLe32(out, v);
    for (const auto& v : s.scheduleRecord) writeLe32(out, static_cast<uint32_t>(v.load()));
    for (const auto& v : s.monitorEnabled) writeLe32(out, static_cast<uint32_t>(v.load()));
    return out;
}

void loadSettings(Settings& settings, const std::filesystem::path& folder)
{
    std::ifstream in(folder / settingsFileName, std::ios::binary);
    if (!in) return;
    std::vector<uint8_t> bytes(settingsFileSize);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    applySettingsBytes(settings, bytes);
}

bool saveSettings(const Settings& settings, const std::filesystem::path& folder)
{
    return writeFileAtomically(folder / settingsFileName, settingsBytes(settings));
}

}  // namespace cx
