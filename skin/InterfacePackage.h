#pragma once
// A skin package ("*.int"): a directory of named entries followed by their
// data. Packages arrive from outside (downloads, other people's skins), so
// every field is checked before it is used: a package whose directory does
// not fit the file is not opened, and an entry whose name or data is unsafe
// is left out of the table.
//
// Layout, little-endian: u16 format tag, u16 reserved, u16 entry count E,
// E directory records {u32 name length L, L name bytes, u32 data size S},
// then E u32 data offsets from the start of the file.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace cx {

// Format tag of the packages Corvanex makes ("CX" read as little-endian u16).
inline constexpr uint16_t corvanexFormatTag = 0x5843;

// Packages larger than this are refused; real ones are a few megabytes.
inline constexpr uint64_t maxPackageBytes = 64ull * 1024 * 1024;
// Longest entry name accepted.
inline constexpr uint32_t maxEntryNameLength = 255;

struct PackageEntry {
    uint32_t dataSize = 0;
    uint32_t nameLength = 0;
    uint32_t dataOffset = 0;
    std::string name;
};

class InterfacePackage {
public:
    // Reads the whole file; nullopt when it cannot be read or its directory
    // is broken.
    static std::optional<InterfacePackage> open(const std::filesystem::path& file);
    static std::optional<InterfacePackage> fromBytes(std::vector<uint8_t> bytes);

    uint16_t formatTag() const { return formatTag_; }
    // Entry count as stored in the header (rejected entries included).
    uint16_t storedEntryCount() const { return storedCount_; }
    const std::vector<PackageEntry>& entries() const { return entries_; }

    // Index of the first entry whose name equals `name` ignoring ASCII case, or -1.
    int findEntry(const std::string& name) const;
    // The entry's bytes; empty for an index out of range.
    std::span<const uint8_t> entryData(int index) const;
    // The entry's bytes as text, up to the first NUL inside them.
    std::string readText(int index) const;
    // findEntry + readText; nullopt when there is no such entry.
    std::optional<std::string> textEntry(const std::string& name) const;

private:
    InterfacePackage() = default;
    std::vector<uint8_t> bytes_;
    uint16_t formatTag_ = 0;
    uint16_t storedCount_ = 0;
    std::vector<PackageEntry> entries_;
};

// An entry name that can be stored and extracted safely: a safe file name
// (isSafeFileName: 1 to 255 bytes, no "/", "\\" or control characters,
// not "." or "..").
bool isSafeEntryName(const std::string& name);

// Reads the first two bytes of a package file (its format tag); nullopt
// when the file is shorter or unreadable.
std::optional<uint16_t> readFormatTag(const std::filesystem::path& file);

}  // namespace cx
