#include "Retention.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

#include "DebugLog.h"
#include "FrameTimesFile.h"
#include "StreamRecording.h"

namespace cx {

namespace fs = std::filesystem;

namespace {

constexpr uint64_t gib = uint64_t{1} << 30;

std::string lower(std::string s)
{
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "2GiB", "512 MiB", "1000000": bytes; nothing when not a size.
std::optional<uint64_t> parseBytes(const std::string& text)
{
    size_t i = 0;
    uint64_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0) {
        if (value > (UINT64_MAX - 9) / 10) return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(text[i] - '0');
        ++i;
    }
    if (i == 0) return std::nullopt;
    while (i < text.size() && text[i] == ' ') ++i;
    const std::string unit = lower(text.substr(i));
    int shift = 0;
    if (unit.empty() || unit == "b")
        shift = 0;
    else if (unit == "kib")
        shift = 10;
    else if (unit == "mib")
        shift = 20;
    else if (unit == "gib")
        shift = 30;
    else if (unit == "tib")
        shift = 40;
    else
        return std::nullopt;
    if (shift > 0 && value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

std::optional<double> parsePercent(const std::string& text)
{
    if (text.empty() || text.back() != '%') return std::nullopt;
    const std::string number = text.substr(0, text.size() - 1);
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
    double value = 0;
    std::istringstream in(number);
    in.imbue(std::locale::classic());
    if (!(in >> value) || !in.eof() || value < 0 || value > 100) return std::nullopt;
    return value;
}

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool readField(const std::string& s, size_t at, size_t digits, int& out)
{
    if (at + digits > s.size()) return false;
    out = 0;
    for (size_t k = 0; k < digits; ++k) {
        const char c = s[at + k];
        if (c < '0' || c > '9') return false;
        out = out * 10 + (c - '0');
    }
    return true;
}

}  // namespace

RetentionPolicy parseRetentionPolicy(const std::string& text)
{
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        line = trim(line);
        if (line.empty() || line[0] == '#') continue;
        RetentionPolicy policy;
        const std::string l = lower(line);
        if (l == "off") {
            policy.kind = RetentionPolicy::Kind::Off;
            return policy;
        }
        if (l.rfind("floor", 0) == 0 && l.size() > 5 && (l[5] == ' ' || l[5] == '\t')) {
            const std::string value = trim(line.substr(5));
            if (const auto p = parsePercent(value)) {
                policy.kind = RetentionPolicy::Kind::Percent;
                policy.percent = *p;
                return policy;
            }
            if (const auto b = parseBytes(value)) {
                policy.kind = RetentionPolicy::Kind::Bytes;
                policy.bytes = *b;
                return policy;
            }
        }
        // The first meaningful line decides; one we cannot read keeps the default.
        debugOutput("retention.txt: unreadable line, default floor in use\n");
        return {};
    }
    return {};
}

RetentionPolicy loadRetentionPolicy(const fs::path& programFolder)
{
    std::ifstream in(programFolder / retentionFileName, std::ios::binary);
    if (!in) return {};
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));  // a policy is one short line
    text.resize(static_cast<size_t>(in.gcount()));
    return parseRetentionPolicy(text);
}

std::optional<DiskSpace> systemFreeSpace(const fs::path& path)
{
    struct statvfs s {};
    if (::statvfs(path.c_str(), &s) != 0) return std::nullopt;
    const uint64_t unit = s.f_frsize != 0 ? s.f_frsize : s.f_bsize;
    return DiskSpace{static_cast<uint64_t>(s.f_blocks) * unit, static_cast<uint64_t>(s.f_bavail) * unit};
}

uint64_t retentionFloor(const RetentionPolicy& policy, uint64_t capacity)
{
    switch (policy.kind) {
    case RetentionPolicy::Kind::Off: return 0;
    case RetentionPolicy::Kind::Bytes: return policy.bytes;
    case RetentionPolicy::Kind::Percent:
        return static_cast<uint64_t>(static_cast<long double>(capacity) * policy.percent / 100.0L);
    case RetentionPolicy::Kind::Default: break;
    }
    return std::min(capacity / 20, 2 * gib);
}

std::optional<std::pair<int64_t, int>> ownRecordingKey(const std::string& name)
{
    // Date_DD_MM_YYYY_Time_HH_MM_SS: 29 characters, then ".avi" or "_N.avi"
    // (".mkv" for the copied streams of RTSP cameras).
    static const std::string pattern = "Date_00_00_0000_Time_00_00_00";
    if (name.size() < pattern.size() + 4) return std::nullopt;
    const std::string extension = name.substr(name.size() - 4);
    if (extension != ".avi" && extension != StreamRecording::extension) return std::nullopt;
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (pattern[k] == '0') {
            if (name[k] < '0' || name[k] > '9') return std::nullopt;
        } else if (name[k] != pattern[k]) {
            return std::nullopt;
        }
    }
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0;
    readField(name, 5, 2, day);
    readField(name, 8, 2, month);
    readField(name, 11, 4, year);
    readField(name, 21, 2, hour);
    readField(name, 24, 2, minute);
    readField(name, 27, 2, second);
    const std::string rest = name.substr(pattern.size());
    int number = 1;
    if (rest != extension) {
        if (rest.size() < 6 || rest[0] != '_') return std::nullopt;
        const std::string digits = rest.substr(1, rest.size() - 5);
        if (digits.size() > 6 || digits[0] == '0') return std::nullopt;
        if (!readField(digits, 0, digits.size(), number) || number < 2) return std::nullopt;
    }
    const int64_t key = ((((static_cast<int64_t>(year) * 100 + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 +
                        second;
    return std::make_pair(key, number);
}

RetentionRun enforceRetention(const fs::path& videoFolder, const RetentionPolicy& policy, const FreeSpaceProbe& probe,
                              const std::function<std::vector<fs::path>()>& openFiles)
{
    RetentionRun run;
    if (policy.kind == RetentionPolicy::Kind::Off) return run;
    auto space = probe(videoFolder);
    if (!space) return run;
    const uint64_t floor = retentionFloor(policy, space->capacity);
    if (space->available >= floor) return run;

    std::error_code ec;
    struct Candidate {
        std::pair<int64_t, int> key;
        fs::path path;
    };
    std::vector<Candidate> candidates;
    for (fs::directory_iterator cameras(videoFolder, ec), end; !ec && cameras != end; cameras.increment(ec)) {
        // Only real camera folders: a link could lead anywhere.
        if (!cameras->is_directory(ec) || cameras->is_symlink(ec)) continue;
        std::error_code inner;
        for (fs::directory_iterator files(cameras->path(), inner), fend; !inner && files != fend;
             files.increment(inner)) {
            const auto status = files->symlink_status(inner);
            if (inner || !fs::is_regular_file(status)) continue;
            const auto key = ownRecordingKey(files->path().filename().string());
            if (!key) continue;
            candidates.push_back({*key, files->path()});
        }
    }
    const auto comparable = [](const fs::path& p) {
        std::error_code e;
        const fs::path c = fs::weakly_canonical(p, e);
        return e ? p.lexically_normal() : c;
    };
    std::set<fs::path> open;
    for (const fs::path& p : openFiles()) open.insert(comparable(p));
    std::erase_if(candidates, [&](const Candidate& c) { return open.count(comparable(c.path)) != 0; });
    std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
        return a.key != b.key ? a.key < b.key : a.path < b.path;
    });

    for (const Candidate& c : candidates) {
        if (!fs::remove(c.path, ec) || ec) {
            debugOutput("retention: could not delete " + c.path.string() + "\n");
            continue;
        }
        // Its frame times go with it; an orphan would only mislead.
        std::error_code timesError;
        fs::remove(frameTimesPath(c.path), timesError);
        run.deleted.push_back(c.path);
        debugOutput("retention: deleted " + c.path.string() + " (free space below the floor)\n");
        space = probe(videoFolder);
        if (!space) return run;
        if (space->available >= floor) return run;
    }
    run.floorMet = false;
    return run;
}

}  // namespace cx
