#pragma once
// A frame's number drawn into its picture, so a test can tell decoded video
// frames apart after H.264/H.265 compression and scaling down to about
// 200x150 pixels.
//
// The code is a band along the top of the picture, 7 % of its height,
// split across the whole width into 36 cells, each black or white: a start
// pair (black, white), the 24 bits of the number (most significant first,
// white for 1), a CRC-8 of those bits (8 cells) and an end pair (white,
// black). A reader needs no search: the cells sit at the same fractions of
// any picture made from the coded one by scaling. Below the band, on the
// left, the number is also written in digits for people.

#include <cstdint>
#include <optional>

namespace cx::sim {

// Numbers are drawn modulo this (24 bits: 13 days of frames at 15 a second).
constexpr uint32_t frameCodeModulus = 1u << 24;

// Draws `number` into an 8-bit luma (grey) plane, with video levels (16 black, 235 white).
void drawFrameCode(uint32_t number, uint8_t* luma, int width, int height, int stride);
// The same into packed RGB pixels (3 bytes each), black 0 and white 255.
void drawFrameCodeRgb(uint32_t number, uint8_t* rgb, int width, int height, int stride);

// The number coded in a luma plane; nothing when the picture carries no
// readable code (no band, too little contrast, a cell neither black nor
// white, a wrong check sum).
std::optional<uint32_t> readFrameCode(const uint8_t* luma, int width, int height, int stride);

}  // namespace cx::sim
