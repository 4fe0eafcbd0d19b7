// Skin packages are downloaded from a server and shared between people:
// the reader, the description parser and the bitmap decoder must take
// anything.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "InterfaceInfo.h"
#include "InterfacePackage.h"
#include "SkinBitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto package = cx::InterfacePackage::fromBytes(std::vector<uint8_t>(data, data + size));
    if (!package) return 0;
    for (size_t i = 0; i < package->entries().size(); ++i) {
        const auto& e = package->entries()[i];
        const auto bytes = package->entryData(static_cast<int>(i));
        if (bytes.size() != e.dataSize || !cx::isSafeEntryName(e.name)) __builtin_trap();
        cx::InterfaceInfo info;
        cx::parseInterfaceInfo(package->readText(static_cast<int>(i)), info);
        const QImage image = cx::decodeSkinBitmap(bytes);
        if (!image.isNull() && (image.width() > cx::maxBitmapSide || image.height() > cx::maxBitmapSide)) __builtin_trap();
    }
    return 0;
}
