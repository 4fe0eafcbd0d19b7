#pragma once
// Where the skin update server is: the first line of "UpdateServer.txt" in
// the program folder, or the default below. Always ends in "/".

#include <filesystem>
#include <string>

namespace cx {

inline constexpr const char* updateServerFileName = "UpdateServer.txt";
inline constexpr const char* defaultUpdateServer = "https://updates.corvanex.net/interfaces/";

std::string updateServerBase(const std::filesystem::path& programFolder);

}  // namespace cx
