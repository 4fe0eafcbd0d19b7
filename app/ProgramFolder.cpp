#include "ProgramFolder.h"
#include "AsciiLower.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace cx {

std::filesystem::path resolveNoCase(const std::filesystem::path& folder, const std::string& name)
{
    std::error_code ec;
    const auto exact = folder / name;
    if (std::filesystem::exists(exact, ec)) return exact;
    const std::string wanted = asciiLower(name);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (asciiLower(entry.path().filename().string()) == wanted) return entry.path();
    }
    return exact;
}

bool folderHasFileWithExtension(const std::filesystem::path& folder, const std::string& extension)
{
    std::error_code ec;
    const std::string wanted = asciiLower(extension);
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (!entry.is_regular_file(ec)) continue;
        const std::string name = asciiLower(entry.path().filename().string());
        if (name.size() > wanted.size() && name.compare(name.size() - wanted.size(), wanted.size(), wanted) == 0)
            return true;
    }
    return false;
}

bool isSafeFileName(const std::string& name)
{
    if (name.empty() || name.size() > maxFileNameBytes || name == "." || name == "..") return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7f || c == '/' || c == '\\';
    });
}

std::filesystem::path shippedSkinFolder()
{
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return program.parent_path().parent_path() / "share" / "corvanex" / "Interface";
}

}  // namespace cx
