#include "FrameCode.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace cx::sim {

namespace {

constexpr int cellCount = 36;
constexpr int dataBits = 24;
constexpr int checkBits = 8;
constexpr int firstDataCell = 2;
constexpr int firstCheckCell = firstDataCell + dataBits;
static_assert(firstCheckCell + checkBits + 2 == cellCount);

int bandHeight(int height)
{
    return std::max(2, (height * 7 + 50) / 100);
}

int cellLeft(int cell, int width)
{
    return static_cast<int>(static_cast<int64_t>(cell) * width / cellCount);
}

uint8_t crc8(uint32_t number)
{
    uint8_t crc = 0;
    for (int shift = 16; shift >= 0; shift -= 8) {
        crc ^= static_cast<uint8_t>(number >> shift);
        for (int bit = 0; bit < 8; ++bit) crc = static_cast<uint8_t>(crc & 0x80 ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

// Whether each cell is white, start pair to end pair.
std::array<bool, cellCount> cells(uint32_t number)
{
    number %= frameCodeModulus;
    std::array<bool, cellCount> white{};
    white[1] = true;
    for (int i = 0; i < dataBits; ++i) white[firstDataCell + i] = (number >> (dataBits - 1 - i)) & 1u;
    const uint8_t check = crc8(number);
    for (int i = 0; i < checkBits; ++i) white[firstCheckCell + i] = (check >> (checkBits - 1 - i)) & 1u;
    white[cellCount - 2] = true;
    return white;
}

// 3x5 block digits, one bit per cell, rows top to bottom.
constexpr uint16_t digitGlyphs[10] = {0x7B6F, 0x2C97, 0x73E7, 0x73CF, 0x5BC9, 0x79CF, 0x79EF, 0x7249, 0x7BEF, 0x7BCF};

// Fills a rectangle (clipped) of a packed picture with one grey value.
void fill(uint8_t* pixels, int width, int height, int stride, int bytesPerPixel, int x, int y, int w, int h, uint8_t value)
{
    const int x0 = std::max(0, x), y0 = std::max(0, y);
    const int x1 = std::min(width, x + w), y1 = std::min(height, y + h);
    if (x1 <= x0) return;
    for (int row = y0; row < y1; ++row)
        std::fill(pixels + static_cast<int64_t>(row) * stride + x0 * bytesPerPixel,
                  pixels + static_cast<int64_t>(row) * stride + x1 * bytesPerPixel, value);
}

void draw(uint32_t number, uint8_t* pixels, int width, int height, int stride, int bytesPerPixel, uint8_t black, uint8_t white)
{
    if (width < cellCount || height < 8) return;
    const int band = bandHeight(height);
    const auto code = cells(number);
    for (int i = 0; i < cellCount; ++i) {
        const int left = cellLeft(i, width);
        fill(pixels, width, height, stride, bytesPerPixel, left, 0, cellLeft(i + 1, width) - left, band,
             code[i] ? white : black);
    }
    // The number in digits, white on a black box under the band.
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%u", number % frameCodeModulus);
    const int cell = std::max(1, height / 90);
    const int x0 = std::max(1, width / 100), y0 = band + std::max(1, height / 100);
    fill(pixels, width, height, stride, bytesPerPixel, x0, y0, (length * 4 + 1) * cell, 7 * cell, black);
    for (int d = 0; d < length; ++d) {
        const uint16_t glyph = digitGlyphs[text[d] - '0'];
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (glyph & (1u << (14 - (row * 3 + col))))
                    fill(pixels, width, height, stride, bytesPerPixel, x0 + (d * 4 + 1 + col) * cell, y0 + (row + 1) * cell,
                         cell, cell, white);
    }
}

}  // namespace

void drawFrameCode(uint32_t number, uint8_t* luma, int width, int height, int stride)
{
    draw(number, luma, width, height, stride, 1, 16, 235);
}

void drawFrameCodeRgb(uint32_t number, uint8_t* rgb, int width, int height, int stride)
{
    draw(number, rgb, width, height, stride, 3, 0, 255);
}

std::optional<uint32_t> readFrameCode(const uint8_t* luma, int width, int height, int stride)
{
    if (luma == nullptr || width < cellCount || height < 8) return std::nullopt;
    // The middle half of each cell, rows and columns, away from the blur of its edges.
    const int band = bandHeight(height);
    const int top = band / 4, bottom = std::max(top + 1, band - band / 4);
    std::array<int, cellCount> level{};
    for (int i = 0; i < cellCount; ++i) {
        const int left = cellLeft(i, width), right = cellLeft(i + 1, width);
        const int quarter = (right - left) / 4;
        const int x0 = left + quarter, x1 = std::max(x0 + 1, right - quarter);
        int64_t sum = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = x0; x < x1; ++x) sum += luma[static_cast<int64_t>(y) * stride + x];
        level[i] = static_cast<int>(sum / (static_cast<int64_t>(bottom - top) * (x1 - x0)));
    }
    const int black = (level[0] + level[cellCount - 1]) / 2;
    const int white = (level[1] + level[cellCount - 2]) / 2;
    if (white - black < 64) return std::nullopt;
    const int middle = (black + white) / 2, margin = (white - black) / 5;
    std::array<bool, cellCount> seen{};
    for (int i = 0; i < cellCount; ++i) {
        if (level[i] > middle - margin && level[i] < middle + margin) return std::nullopt;
        seen[i] = level[i] >= middle + margin;
    }
    uint32_t number = 0;
    for (int i = 0; i < dataBits; ++i) number = (number << 1) | (seen[firstDataCell + i] ? 1u : 0u);
    if (seen != cells(number)) return std::nullopt;
    return number;
}

}  // namespace cx::sim
