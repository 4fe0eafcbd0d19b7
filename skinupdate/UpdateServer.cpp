#include "UpdateServer.h"

#include <fstream>

namespace cx {

std::string updateServerBase(const std::filesystem::path& programFolder)
{
    std::ifstream in(programFolder / updateServerFileName);
    std::string line;
    if (!in || !std::getline(in, line)) line.clear();
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    line = start == std::string::npos ? std::string() : line.substr(start);
    if (line.empty()) return defaultUpdateServer;
    if (line.back() != '/') line += '/';
    return line;
}

}  // namespace cx
