#pragma once
// A small RIFF AVI reader, independent of FFmpeg, for checking recordings:
// the stream header, the frame format and the chunks of the movi list in
// file order (one chunk per sample position, empty chunks included).

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace cx::test {

struct AviChunk {
    std::string id;
    std::vector<uint8_t> data;
};

struct AviFile {
    bool valid = false;
    std::string streamType;   // strh fccType
    uint32_t handler = 0;     // strh fccHandler
    uint32_t scale = 0;
    uint32_t rate = 0;
    int32_t quality = 0;
    std::vector<uint8_t> format;  // strf contents
    std::vector<AviChunk> chunks;  // video chunks of the movi list, in order
    size_t indexEntries = 0;       // idx1 entries (0 when the file was not completed)

    // Positions of the chunks that hold a frame.
    std::vector<size_t> framePositions() const
    {
        std::vector<size_t> positions;
        for (size_t i = 0; i < chunks.size(); ++i)
            if (!chunks[i].data.empty()) positions.push_back(i);
        return positions;
    }
};

inline uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }

namespace detail {

inline void walk(const std::vector<uint8_t>& b, size_t begin, size_t end, AviFile& avi, bool inMovi)
{
    size_t at = begin;
    while (at + 8 <= end) {
        const std::string id(reinterpret_cast<const char*>(&b[at]), 4);
        uint32_t size = le32(&b[at + 4]);
        const size_t body = at + 8;
        // A file cut short (killed writer) has lists whose sizes were never
        // filled in; read what is there.
        const size_t stop = (size == 0 && (id == "RIFF" || id == "LIST")) || body + size > end ? end : body + size;
        if (id == "RIFF" || id == "LIST") {
            if (body + 4 > end) return;
            const std::string type(reinterpret_cast<const char*>(&b[body]), 4);
            walk(b, body + 4, stop, avi, inMovi || type == "movi");
        } else if (id == "strh" && size >= 48 && body + 48 <= end) {
            avi.streamType.assign(reinterpret_cast<const char*>(&b[body]), 4);
            avi.handler = le32(&b[body + 4]);
            avi.scale = le32(&b[body + 20]);
            avi.rate = le32(&b[body + 24]);
            avi.quality = static_cast<int32_t>(le32(&b[body + 40]));
        } else if (id == "strf") {
            avi.format.assign(b.begin() + static_cast<std::ptrdiff_t>(body), b.begin() + static_cast<std::ptrdiff_t>(stop));
        } else if (id == "idx1") {
            avi.indexEntries = (stop - body) / 16;
        } else if (inMovi && id.size() == 4 && id[0] == '0' && id[1] == '0' && (id.substr(2) == "dc" || id.substr(2) == "db")) {
            if (body + size > end) return;  // the frame being written when the file was cut
            avi.chunks.push_back({id, std::vector<uint8_t>(b.begin() + static_cast<std::ptrdiff_t>(body),
                                                           b.begin() + static_cast<std::ptrdiff_t>(body + size))});
        }
        if (stop == end && (id == "RIFF" || id == "LIST") && size == 0) return;
        at = body + size + (size & 1);
    }
}

}  // namespace detail

inline AviFile readAvi(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    AviFile avi;
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(&bytes[8], "AVI ", 4) != 0)
        return avi;
    avi.valid = true;
    detail::walk(bytes, 0, bytes.size(), avi, false);
    return avi;
}

}  // namespace cx::test
