#pragma once
// The update server's list of skin packages ("Interfaces.txt"): one package
// file name per line, up to the first empty line. Names come from the
// network, so only plain "*.int" file names are taken.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace cx {

inline constexpr const char* interfaceListName = "Interfaces.txt";

// The package names of `text` in file order, to the end or the first empty
// line; line ends (LF, CR LF) removed. A name with a path separator, "..",
// control characters, or that is not a plain "<name>.int" file name is
// skipped (the list goes on after it), as is a repeated name.
std::vector<std::string> readInterfaceList(std::string_view text);

// True for a name the updater may write into the Interface folder.
bool isPackageFileName(const std::string& name);

// The names of `listed` that `interfaceFolder` does not hold yet, in order.
std::vector<std::string> missingPackages(const std::vector<std::string>& listed,
                                         const std::filesystem::path& interfaceFolder);

}  // namespace cx
