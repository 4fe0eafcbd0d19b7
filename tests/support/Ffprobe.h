#pragma once
// Runs ffprobe on a file, as a reader that shares no code with ours.

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace cx::test {

inline std::string runCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    ::pclose(pipe);
    return output;
}

struct ProbedStream {
    bool ok = false;
    std::string codecName;
    std::string codecTag;
    std::string frameRate;   // r_frame_rate
    long packets = -1;       // packets with data
    std::vector<long> packetTimes;  // pts of the packets with data, in stream time base
};

inline ProbedStream ffprobe(const std::filesystem::path& file)
{
    ProbedStream probe;
    const std::string quoted = "'" + file.string() + "'";
    std::istringstream stream(runCommand("ffprobe -v error -select_streams v:0 -show_entries "
                                         "stream=codec_name,codec_tag_string,r_frame_rate -of default=nw=1 " +
                                         quoted + " 2>/dev/null"));
    std::string line;
    while (std::getline(stream, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        if (key == "codec_name") probe.codecName = value, probe.ok = true;
        if (key == "codec_tag_string") probe.codecTag = value;
        if (key == "r_frame_rate") probe.frameRate = value;
    }
    std::istringstream packets(runCommand("ffprobe -v error -select_streams v:0 -show_entries packet=pts,size "
                                          "-of csv=p=0 " + quoted + " 2>/dev/null"));
    probe.packets = 0;
    while (std::getline(packets, line)) {
        const auto comma = line.find(',');
        if (comma == std::string::npos) continue;
        if (std::stol(line.substr(comma + 1)) <= 0) continue;
        ++probe.packets;
        probe.packetTimes.push_back(std::stol(line.substr(0, comma)));
    }
    return probe;
}

}  // namespace cx::test
