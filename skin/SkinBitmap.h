#pragma once
// Bitmaps of skin packages: Windows DIB files ("BM", 40-byte information
// header). Only pictures without a colour table are built: 16, 24 and 32
// bits per pixel, uncompressed or with bit-field masks. Palette bitmaps
// (1, 4, 8 bits) and anything whose header does not match its bytes give
// no picture.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <QImage>

namespace cx {

class InterfacePackage;

// Side limit for decoded bitmaps; a skin never needs more.
inline constexpr int32_t maxBitmapSide = 8192;

// Decodes DIB file bytes into an opaque RGB32 image; a null image when the
// bytes are not an acceptable bitmap.
QImage decodeSkinBitmap(std::span<const uint8_t> bytes);

// The package entry `name` (case ignored) as a picture, or a null image.
QImage loadSkinBitmap(const InterfacePackage& package, const std::string& name);

// Encodes an image as a 24-bit bottom-up DIB file (what our skins carry).
std::vector<uint8_t> encodeBitmap24(const QImage& image);

}  // namespace cx
