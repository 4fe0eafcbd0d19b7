// Bitmap entries of skin packages: headers may lie about every size.
#include <cstddef>
#include <cstdint>
#include <span>

#include "SkinBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QImage image = cx::decodeSkinBitmap(std::span<const uint8_t>(data, size));
    if (image.isNull()) return 0;
    // Every pixel takes at least two bytes of the input.
    const auto pixels = static_cast<uint64_t>(image.width()) * static_cast<uint64_t>(image.height());
    if (pixels * 2 > size) __builtin_trap();
    return 0;
}
