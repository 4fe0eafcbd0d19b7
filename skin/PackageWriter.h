#pragma once
// Builds skin package bytes (see InterfacePackage.h for the layout): the
// directory first, then the offsets, then every entry's data in order.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace cx {

struct PackageItem {
    std::string name;
    std::vector<uint8_t> data;
};

// Fails (returns empty) when a name is unsafe, there are more than 65535
// items or the package would exceed maxPackageBytes.
std::vector<uint8_t> buildPackage(uint16_t formatTag, const std::vector<PackageItem>& items);

// Every regular file directly in `folder`, sorted by name, as package items.
std::vector<PackageItem> readFolderItems(const std::filesystem::path& folder);

}  // namespace cx
