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

bool isSafePathComponent(const std::string& name)
{
    if (name.empty() || name == "." ) return false;
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) return false;
    if (name.find("..") != std::string::npos) return false;
    return true;
}

}  // namespace cx
