#include "FrameTimesFile.h"

#include <algorithm>
#include <cstring>
#include <fstream>

namespace cx {

namespace {

constexpr uint8_t magic[4] = {'C', 'X', 'F', 'T'};
constexpr uint32_t version = 1;

void put32(uint8_t* out, uint32_t v)
{
    for (int k = 0; k < 4; ++k) out[k] = static_cast<uint8_t>(v >> (8 * k));
}

void put64(uint8_t* out, int64_t value)
{
    const auto v = static_cast<uint64_t>(value);
    for (int k = 0; k < 8; ++k) out[k] = static_cast<uint8_t>(v >> (8 * k));
}

uint32_t get32(const uint8_t* in)
{
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = (v << 8) | in[k];
    return v;
}

int64_t get64(const uint8_t* in)
{
    uint64_t v = 0;
    for (int k = 7; k >= 0; --k) v = (v << 8) | in[k];
    return static_cast<int64_t>(v);
}

}  // namespace

std::filesystem::path frameTimesPath(const std::filesystem::path& recording)
{
    std::filesystem::path p = recording;
    p += ".times";
    return p;
}

void encodeFrameTimesHead(uint8_t* out)
{
    std::memcpy(out, magic, 4);
    put32(out + 4, version);
    put32(out + 8, static_cast<uint32_t>(frameTimeRecordSize));
    put32(out + 12, 0);
}

void encodeFrameTimeRecord(const FrameTimeRecord& record, uint8_t* out)
{
    put64(out, record.position);
    put64(out + 8, record.wallMs);
}

std::optional<std::vector<FrameTimeRecord>> decodeFrameTimes(const uint8_t* bytes, size_t size)
{
    if (size < frameTimesHeadSize || std::memcmp(bytes, magic, 4) != 0 || get32(bytes + 4) != version ||
        get32(bytes + 8) != frameTimeRecordSize)
        return std::nullopt;
    std::vector<FrameTimeRecord> records;
    const size_t count = (size - frameTimesHeadSize) / frameTimeRecordSize;  // a cut-off record is left out
    records.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        const uint8_t* at = bytes + frameTimesHeadSize + k * frameTimeRecordSize;
        records.push_back({get64(at), get64(at + 8)});
    }
    return records;
}

std::optional<std::vector<FrameTimeRecord>> readFrameTimes(const std::filesystem::path& recording)
{
    std::ifstream in(frameTimesPath(recording), std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    // One read of the whole file (a day at 30 fps is some 40 MB); a file
    // still being appended to is read as far as it was at the start.
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return decodeFrameTimes(bytes.data(), bytes.size());
}

}  // namespace cx
