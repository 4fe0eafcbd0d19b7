#include "FrameSource.h"
#include "AsciiLower.h"

#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace cx::sim {

namespace {

constexpr const char* stampPrefix = "cxframe:";

// 3x5 block digits, one bit per cell, rows top to bottom.
constexpr uint16_t digitGlyphs[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

void drawNumber(std::vector<uint8_t>& rgb, int width, int height, int number)
{
    const std::string text = std::to_string(number);
    const int cell = std::max(4, height / 24);
    int x0 = cell;
    const int y0 = cell;
    for (char ch : text) {
        const uint16_t glyph = digitGlyphs[ch - '0'];
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col) {
                if (!(glyph & (1u << (14 - (row * 3 + col))))) continue;
                for (int y = y0 + row * cell; y < y0 + (row + 1) * cell && y < height; ++y)
                    for (int x = x0 + col * cell; x < x0 + (col + 1) * cell && x < width; ++x) {
                        uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
                        p[0] = p[1] = p[2] = 255;
                    }
            }
        x0 += 4 * cell;
    }
}

std::vector<uint8_t> generatedPicture(int width, int height, int index, int count)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    const int barX = count > 0 ? (index * width) / count : 0;
    const int barWidth = std::max(8, width / 20);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
            p[0] = static_cast<uint8_t>(40 + (x * 120) / std::max(1, width));
            p[1] = static_cast<uint8_t>(50 + (y * 120) / std::max(1, height));
            p[2] = static_cast<uint8_t>(90 + ((x ^ y) & 31));
            if (x >= barX && x < barX + barWidth) p[0] = p[1] = 220, p[2] = 40;
        }
    drawNumber(rgb, width, height, index);
    return rgb;
}

}  // namespace

std::vector<uint8_t> encodeJpeg(const std::vector<uint8_t>& rgb, int width, int height, int quality, bool grey,
                                bool progressive)
{
    tjhandle handle = tjInitCompress();
    if (handle == nullptr) throw std::runtime_error("tjInitCompress failed");
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int rc = tjCompress2(handle, rgb.data(), width, 0, height, TJPF_RGB, &out, &size,
                               grey ? TJSAMP_GRAY : TJSAMP_420, quality,
                               TJFLAG_FASTDCT | (progressive ? TJFLAG_PROGRESSIVE : 0));
    std::vector<uint8_t> jpeg;
    if (rc == 0) jpeg.assign(out, out + size);
    tjFree(out);
    tjDestroy(handle);
    if (rc != 0) throw std::runtime_error("tjCompress2 failed");
    return jpeg;
}

FrameSource::FrameSource(int width, int height, int distinctFrames)
{
    for (int i = 0; i < distinctFrames; ++i)
        frames_.push_back(encodeJpeg(generatedPicture(width, height, i, distinctFrames), width, height));
}

FrameSource::FrameSource(const std::filesystem::path& folder)
{
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string ext = asciiLower(entry.path().extension().string());
        if (ext == ".jpg" || ext == ".jpeg") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (bytes.size() > 4 && bytes[0] == 0xFF && bytes[1] == 0xD8) frames_.push_back(std::move(bytes));
    }
}

std::vector<uint8_t> FrameSource::frame(uint64_t number) const
{
    if (frames_.empty()) return {};
    const auto& base = frames_[number % frames_.size()];
    const std::string stamp = stampPrefix + std::to_string(number);
    const size_t segment = stamp.size() + 2;  // the length field counts itself
    std::vector<uint8_t> out;
    out.reserve(base.size() + segment + 2);
    out.insert(out.end(), base.begin(), base.begin() + 2);  // SOI
    out.push_back(0xFF);
    out.push_back(0xFE);  // COM
    out.push_back(static_cast<uint8_t>(segment >> 8));
    out.push_back(static_cast<uint8_t>(segment & 0xFF));
    out.insert(out.end(), stamp.begin(), stamp.end());
    out.insert(out.end(), base.begin() + 2, base.end());
    return out;
}

std::optional<uint64_t> simulatedFrameNumber(const uint8_t* data, size_t size)
{
    const size_t prefix = std::strlen(stampPrefix);
    // The stamp sits right after SOI; look only at the start of the frame.
    const size_t limit = std::min<size_t>(size, 64);
    for (size_t i = 0; i + prefix < limit; ++i) {
        if (std::memcmp(data + i, stampPrefix, prefix) != 0) continue;
        uint64_t value = 0;
        size_t j = i + prefix;
        if (j >= size || data[j] < '0' || data[j] > '9') return std::nullopt;
        for (; j < size && data[j] >= '0' && data[j] <= '9'; ++j) value = value * 10 + (data[j] - '0');
        return value;
    }
    return std::nullopt;
}

}  // namespace cx::sim
