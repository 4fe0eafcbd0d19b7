#pragma once
// The decoded picture as a 24-bit bottom-up bitmap: what the recorder
// stores for uncompressed frames.

#include <array>
#include <cstddef>
#include <cstdint>

#include "DecodedPicture.h"

namespace cx {

inline constexpr size_t bitmapHeaderSize = 40;

// Bytes per row: 3 per pixel, padded to a multiple of 4.
uint32_t bitmapStride(int width);
// stride x height.
uint32_t bitmapImageSize(int width, int height);

// The 40-byte bitmap information header of a width x height, 24-bit,
// uncompressed, bottom-up frame (little-endian fields).
std::array<uint8_t, bitmapHeaderSize> bitmapInfoHeader(int width, int height);

// Fills `byteCount` bytes at `pixelArea` with the picture at its own size,
// blue-green-red, bottom row first, rows padded to 4 bytes (padding 0).
// Leaves the area unchanged when there is no picture. A picture decoded at
// a reduced scale is stretched back to its own size.
void SaveAsBitmap(const DecodedPicture& picture, uint8_t* pixelArea, size_t byteCount);

}  // namespace cx
