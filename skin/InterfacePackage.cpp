#include "InterfacePackage.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "ProgramFolder.h"

namespace cx {

namespace {

uint16_t u16At(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerAscii(x) == lowerAscii(y); });
}

}  // namespace

bool isSafeEntryName(const std::string& name)
{
    // Entries may be extracted to files: the program's file-name rule, and
    // no limits of the package's own beyond it.
    static_assert(maxEntryNameLength == maxFileNameBytes);
    return isSafeFileName(name);
}

std::optional<InterfacePackage> InterfacePackage::open(const std::filesystem::path& file)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec || size > maxPackageBytes) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) return std::nullopt;
    return fromBytes(std::move(bytes));
}

std::optional<InterfacePackage> InterfacePackage::fromBytes(std::vector<uint8_t> bytes)
{
    const uint64_t size = bytes.size();
    if (size < 6 || size > maxPackageBytes) return std::nullopt;
    InterfacePackage p;
    p.formatTag_ = u16At(bytes, 0);
    p.storedCount_ = u16At(bytes, 4);
    const uint32_t count = p.storedCount_;
    // Each record takes at least 8 bytes plus a 4-byte offset: a count
    // that cannot fit is refused before anything is allocated.
    if (6 + uint64_t{count} * 12 > size) return std::nullopt;

    std::vector<PackageEntry> directory;
    directory.reserve(count);
    uint64_t at = 6;
    for (uint32_t i = 0; i < count; ++i) {
        if (at + 4 > size) return std::nullopt;
        PackageEntry e;
        e.nameLength = u32At(bytes, static_cast<size_t>(at));
        at += 4;
        if (e.nameLength > size - at) return std::nullopt;
        e.name.assign(reinterpret_cast<const char*>(bytes.data() + at), e.nameLength);
        at += e.nameLength;
        if (at + 4 > size) return std::nullopt;
        e.dataSize = u32At(bytes, static_cast<size_t>(at));
        at += 4;
        directory.push_back(std::move(e));
    }
    if (at + uint64_t{count} * 4 > size) return std::nullopt;
    for (auto& e : directory) {
        e.dataOffset = u32At(bytes, static_cast<size_t>(at));
        at += 4;
    }

    for (auto& e : directory) {
        const bool dataInside = uint64_t{e.dataOffset} + e.dataSize <= size;
        if (dataInside && e.nameLength <= maxEntryNameLength && isSafeEntryName(e.name)) p.entries_.push_back(std::move(e));
    }
    p.bytes_ = std::move(bytes);
    return p;
}

int InterfacePackage::findEntry(const std::string& name) const
{
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (equalsNoCase(entries_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

std::span<const uint8_t> InterfacePackage::entryData(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= entries_.size()) return {};
    const auto& e = entries_[static_cast<size_t>(index)];
    return std::span<const uint8_t>(bytes_).subspan(e.dataOffset, e.dataSize);
}

std::string InterfacePackage::readText(int index) const
{
    const auto data = entryData(index);
    const auto nul = std::find(data.begin(), data.end(), uint8_t{0});
    return std::string(data.begin(), nul);
}

std::optional<std::string> InterfacePackage::textEntry(const std::string& name) const
{
    const int index = findEntry(name);
    if (index < 0) return std::nullopt;
    return readText(index);
}

std::optional<uint16_t> readFormatTag(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    uint8_t b[2];
    if (!in.read(reinterpret_cast<char*>(b), 2)) return std::nullopt;
    return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

}  // namespace cx
