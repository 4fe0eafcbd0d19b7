#include "PackageWriter.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "InterfacePackage.h"

namespace cx {

namespace {
void putU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void putU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
}  // namespace

std::vector<uint8_t> buildPackage(uint16_t formatTag, const std::vector<PackageItem>& items)
{
    if (items.size() > 0xFFFF) return {};
    uint64_t total = 6;
    for (const auto& item : items) {
        if (!isSafeEntryName(item.name)) return {};
        total += 12 + item.name.size() + item.data.size();
    }
    if (total > maxPackageBytes) return {};

    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(total));
    putU16(out, formatTag);
    putU16(out, 0);
    putU16(out, static_cast<uint16_t>(items.size()));
    for (const auto& item : items) {
        putU32(out, static_cast<uint32_t>(item.name.size()));
        out.insert(out.end(), item.name.begin(), item.name.end());
        putU32(out, static_cast<uint32_t>(item.data.size()));
    }
    uint32_t offset = static_cast<uint32_t>(out.size() + 4 * items.size());
    for (const auto& item : items) {
        putU32(out, offset);
        offset += static_cast<uint32_t>(item.data.size());
    }
    for (const auto& item : items) out.insert(out.end(), item.data.begin(), item.data.end());
    return out;
}

std::vector<PackageItem> readFolderItems(const std::filesystem::path& folder)
{
    std::vector<PackageItem> items;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        PackageItem item{entry.path().filename().string(),
                         std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())};
        items.push_back(std::move(item));
    }
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return items;
}

}  // namespace cx
