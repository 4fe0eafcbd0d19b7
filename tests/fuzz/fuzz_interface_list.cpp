// The update server's package list comes from the network and may be anything.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "InterfaceList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& name : cx::readInterfaceList(text)) {
        // Every name taken must be one the updater may write.
        if (!cx::isPackageFileName(name)) __builtin_trap();
        if (name.find('/') != std::string::npos || name.find("..") != std::string::npos) __builtin_trap();
    }
    return 0;
}
