#include "InterfaceList.h"

#include <algorithm>

#include "AsciiLower.h"
#include "ProgramFolder.h"

namespace cx {

bool isPackageFileName(const std::string& name)
{
    if (!isSafeFileName(name) || name.size() <= 4) return false;
    // Network input: printable ASCII only, no "..", nothing a shell or
    // another system reads as a path.
    if (name.front() == '.' || name.find("..") != std::string::npos) return false;
    for (const unsigned char c : name)
        if (c < 0x20 || c > 0x7E || c == ':' || c == '\\' || c == '/') return false;
    return asciiLower(name.substr(name.size() - 4)) == ".int";
}

std::vector<std::string> readInterfaceList(std::string_view text)
{
    std::vector<std::string> names;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string_view::npos) end = text.size();
        std::string line(text.substr(at, end - at));
        at = end + 1;
        while (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;  // the list ends at the first empty line
        if (!isPackageFileName(line)) continue;
        if (std::find(names.begin(), names.end(), line) != names.end()) continue;
        names.push_back(std::move(line));
    }
    return names;
}

std::vector<std::string> missingPackages(const std::vector<std::string>& listed,
                                         const std::filesystem::path& interfaceFolder)
{
    std::vector<std::string> missing;
    for (const auto& name : listed) {
        std::error_code ec;
        if (!std::filesystem::exists(interfaceFolder / name, ec)) missing.push_back(name);
    }
    return missing;
}

}  // namespace cx
