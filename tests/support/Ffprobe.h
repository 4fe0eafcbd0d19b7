#pragma once
// Runs ffprobe on a file, as a reader that shares no code with ours.

#include <cstdint>
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

// Every stream and packet of a file, and its date, as ffprobe reads them.
struct ProbedTrack {
    std::string codecType;  // "video", "audio"
    std::string codecName;
    int width = 0;
    int height = 0;
};
struct ProbedPacket {
    int stream = -1;
    long long pts = 0;  // in the stream's time base; INT64_MIN when absent
    long long dts = 0;
    bool key = false;
};
struct ProbedFile {
    bool ok = false;
    std::vector<ProbedTrack> tracks;
    std::vector<ProbedPacket> packets;
    std::string creationTime;  // the container's date, "" when none
    // The packets of the first track of that type.
    std::vector<ProbedPacket> of(const std::string& codecType) const
    {
        std::vector<ProbedPacket> out;
        for (size_t k = 0; k < tracks.size(); ++k) {
            if (tracks[k].codecType != codecType) continue;
            for (const ProbedPacket& p : packets)
                if (p.stream == static_cast<int>(k)) out.push_back(p);
            break;
        }
        return out;
    }
};

inline ProbedFile probeFile(const std::filesystem::path& file)
{
    ProbedFile probe;
    std::istringstream lines(runCommand("ffprobe -v error -show_entries stream=index,codec_type,codec_name,width,height"
                                        ":format_tags=creation_time:packet=stream_index,pts,dts,flags -of compact '" +
                                        file.string() + "' 2>/dev/null"));
    std::string line;
    const auto number = [](const std::string& v) { return v == "N/A" ? static_cast<long long>(INT64_MIN) : std::stoll(v); };
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string section, field;
        std::getline(fields, section, '|');
        ProbedTrack track;
        ProbedPacket packet;
        size_t index = 0;
        while (std::getline(fields, field, '|')) {
            const auto eq = field.find('=');
            if (eq == std::string::npos) continue;
            const std::string key = field.substr(0, eq), value = field.substr(eq + 1);
            if (section == "stream") {
                if (key == "index") index = std::stoul(value);
                if (key == "codec_type") track.codecType = value;
                if (key == "codec_name") track.codecName = value;
                if (key == "width") track.width = std::stoi(value);
                if (key == "height") track.height = std::stoi(value);
            } else if (section == "packet") {
                if (key == "stream_index") packet.stream = std::stoi(value);
                if (key == "pts") packet.pts = number(value);
                if (key == "dts") packet.dts = number(value);
                if (key == "flags") packet.key = !value.empty() && value[0] == 'K';
            } else if (section == "format" && key == "tag:creation_time") {
                probe.creationTime = value;
            }
        }
        if (section == "stream") {
            if (probe.tracks.size() <= index) probe.tracks.resize(index + 1);
            probe.tracks[index] = track;
            probe.ok = true;
        }
        if (section == "packet") probe.packets.push_back(packet);
    }
    return probe;
}

}  // namespace cx::test
