// Settings files come from disk and may be anything.
#include <cstddef>
#include <cstdint>

#include "SettingsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cx::Settings settings;
    cx::applySettingsBytes(settings, {data, size});
    const auto bytes = cx::settingsBytes(settings);
    if (bytes.size() != cx::settingsFileSize) __builtin_trap();
    return 0;
}
