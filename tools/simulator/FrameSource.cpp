#include "FrameSource.h"
#include "AsciiLower.h"

#include <turbojpeg.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
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

struct Rgb {
    uint8_t r, g, b;
};

void fillRect(std::vector<uint8_t>& rgb, int width, int height, int x, int y, int w, int h, Rgb c)
{
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(width, x + w), y1 = std::min(height, y + h);
    for (int yy = y0; yy < y1; ++yy)
        for (int xx = x0; xx < x1; ++xx) {
            uint8_t* p = &rgb[(static_cast<size_t>(yy) * width + xx) * 3];
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
}

// Block text of digits and ":" (3 × 5 cells of `cell` pixels).
void drawGlyphs(std::vector<uint8_t>& rgb, int width, int height, const std::string& text, int x, int y, int cell, Rgb c)
{
    constexpr uint16_t colon = 0x0410;
    for (char ch : text) {
        const uint16_t glyph = ch == ':' ? colon : (ch >= '0' && ch <= '9' ? digitGlyphs[ch - '0'] : 0);
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (glyph & (1u << (14 - (row * 3 + col)))) fillRect(rgb, width, height, x + col * cell, y + row * cell, cell, cell, c);
        x += 4 * cell;
    }
}

// Small deterministic numbers for the scene's layout.
uint32_t mix(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

uint8_t blend(int a, int b, int num, int den)
{
    return static_cast<uint8_t>(a + (b - a) * num / std::max(1, den));
}

// Sky, houses with windows, pavement and road: what does not move.
std::vector<uint8_t> sceneBackground(int width, int height, int variant)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    const int horizon = height * 45 / 100;
    // Day, dusk, overcast and night skies.
    const Rgb skies[4][2] = {{{70, 120, 185}, {175, 205, 230}},
                             {{60, 70, 130}, {235, 150, 90}},
                             {{120, 130, 140}, {190, 195, 200}},
                             {{8, 14, 36}, {40, 50, 80}}};
    const auto& sky = skies[(variant - 1) % 4];
    for (int y = 0; y < horizon; ++y)
        fillRect(rgb, width, height, 0, y, width, 1,
                 {blend(sky[0].r, sky[1].r, y, horizon), blend(sky[0].g, sky[1].g, y, horizon), blend(sky[0].b, sky[1].b, y, horizon)});
    const bool night = (variant - 1) % 4 == 3;
    // Houses along the horizon.
    int x = 0;
    for (uint32_t i = 0; x < width; ++i) {
        const uint32_t r = mix(static_cast<uint32_t>(variant) * 977u + i);
        const int w = width / 10 + static_cast<int>(r % static_cast<uint32_t>(width / 6 + 1));
        const int h = height / 8 + static_cast<int>((r >> 8) % static_cast<uint32_t>(height / 4 + 1));
        const uint8_t shade = static_cast<uint8_t>(night ? 28 + (r >> 16) % 20 : 80 + (r >> 16) % 70);
        fillRect(rgb, width, height, x, horizon - h, w - 3, h, {shade, static_cast<uint8_t>(shade * 9 / 10), static_cast<uint8_t>(shade * 8 / 10)});
        const int cell = std::max(4, width / 60);
        for (int wy = horizon - h + cell; wy + cell < horizon - cell; wy += cell * 2)
            for (int wx = x + cell; wx + cell < x + w - 3 - cell / 2; wx += cell * 2) {
                const bool lit = mix(static_cast<uint32_t>(wx * 31 + wy)) % 3 == 0;
                fillRect(rgb, width, height, wx, wy, cell, cell, lit ? Rgb{240, 210, 120} : Rgb{40, 50, 60});
            }
        x += w;
    }
    // Pavement, kerb, road with its dashed middle line.
    fillRect(rgb, width, height, 0, horizon, width, height - horizon, night ? Rgb{45, 45, 48} : Rgb{125, 125, 118});
    const int roadTop = height * 66 / 100, roadBottom = height * 92 / 100;
    fillRect(rgb, width, height, 0, roadTop - 4, width, 4, {170, 170, 165});
    fillRect(rgb, width, height, 0, roadTop, width, roadBottom - roadTop, night ? Rgb{25, 26, 30} : Rgb{62, 64, 68});
    const int dash = std::max(12, width / 16);
    for (int d = 0; d < width; d += dash * 2)
        fillRect(rgb, width, height, d, (roadTop + roadBottom) / 2 - 2, dash, 4, {230, 230, 220});
    // A lamp post.
    const int lampX = width * 3 / 4;
    fillRect(rgb, width, height, lampX, horizon - height / 5, std::max(3, width / 160), roadTop - (horizon - height / 5), {50, 50, 55});
    return rgb;
}

std::vector<uint8_t> generatedPicture(int width, int height, int index, int count)
{
    std::vector<uint8_t> rgb;
    drawGeneratedPicture(rgb, width, height, index, count);
    drawNumber(rgb, width, height, index);
    return rgb;
}

}  // namespace

void drawGeneratedPicture(std::vector<uint8_t>& rgb, int width, int height, int index, int count)
{
    rgb.resize(static_cast<size_t>(width) * height * 3);
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
}

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

FrameSource FrameSource::scene(int width, int height, int variant)
{
    FrameSource source;
    source.width_ = width;
    source.height_ = height;
    source.variant_ = std::max(1, variant);
    source.sceneBase_ = sceneBackground(width, height, source.variant_);
    return source;
}

std::vector<uint8_t> FrameSource::sceneFrame() const
{
    std::vector<uint8_t> rgb;
    drawScene(rgb, std::chrono::system_clock::now());
    return encodeJpeg(rgb, width_, height_, 80);
}

void FrameSource::drawScene(std::vector<uint8_t>& rgb, std::chrono::system_clock::time_point now) const
{
    rgb.assign(sceneBase_.begin(), sceneBase_.end());
    const int width = width_, height = height_;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();

    // A car drives across, each variant at its own pace and colour.
    const Rgb bodies[4] = {{200, 40, 40}, {230, 230, 235}, {40, 90, 200}, {240, 190, 40}};
    const Rgb body = bodies[(variant_ - 1) % 4];
    const int carW = width / 5, carH = height / 10;
    const int period = 4000 + 1300 * variant_;
    const int carX = static_cast<int>((ms % period) * (width + carW) / period) - carW;
    const int carY = height * 74 / 100;
    fillRect(rgb, width, height, carX, carY, carW, carH, body);
    fillRect(rgb, width, height, carX + carW / 5, carY - carH / 2, carW * 3 / 5, carH / 2 + 1, body);
    fillRect(rgb, width, height, carX + carW / 4, carY - carH * 2 / 5, carW / 4, carH * 2 / 5, {150, 190, 220});
    fillRect(rgb, width, height, carX + carW / 2 + 2, carY - carH * 2 / 5, carW / 4, carH * 2 / 5, {150, 190, 220});
    const int wheel = carH * 2 / 3;
    fillRect(rgb, width, height, carX + carW / 8, carY + carH - wheel / 2, wheel, wheel, {20, 20, 20});
    fillRect(rgb, width, height, carX + carW - carW / 8 - wheel, carY + carH - wheel / 2, wheel, wheel, {20, 20, 20});
    fillRect(rgb, width, height, carX + carW - 6, carY + carH / 4, 6, carH / 4, {255, 240, 160});

    // The lamp blinks once a second.
    const int lampX = width * 3 / 4, lampY = height * 45 / 100 - height / 5;
    const bool on = (ms / 1000) % 2 == 0;
    fillRect(rgb, width, height, lampX - width / 80, lampY - height / 40, width / 40 + 3, height / 40, on ? Rgb{255, 230, 140} : Rgb{90, 90, 80});

    // Time stamp in the corner, as cameras print it.
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    const int cell = std::max(2, height / 80);
    drawGlyphs(rgb, width, height, clock, 10 + cell / 2 + 1, 10 + cell / 2 + 1, cell, {0, 0, 0});
    drawGlyphs(rgb, width, height, clock, 10, 10, cell, {255, 255, 255});
}

std::vector<uint8_t> FrameSource::frame(uint64_t number) const
{
    std::vector<uint8_t> drawn;
    if (!sceneBase_.empty()) drawn = sceneFrame();
    else if (frames_.empty()) return {};
    const auto& base = sceneBase_.empty() ? frames_[number % frames_.size()] : drawn;
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
