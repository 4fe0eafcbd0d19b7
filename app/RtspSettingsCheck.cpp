#include "RtspSettingsCheck.h"

#include <algorithm>

#include "CameraFieldLimits.h"

namespace cx {

namespace {

// A space ends the path in the request line; control characters have no
// place in one either.
bool requestable(const std::string& path)
{
    return std::none_of(path.begin(), path.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7f;
    });
}

}  // namespace

std::string rtspSettingsProblem(const RtspSettings& settings)
{
    if (settings.mainPath.empty()) return rtspMainPathMissingText;
    if (settings.mainPath.front() != '/') return rtspMainPathSlashText;
    if (!requestable(settings.mainPath)) return rtspMainPathCharactersText;
    if (auto why = lengthProblem("main stream path", settings.mainPath, streamPathLimit); !why.empty()) return why;
    if (settings.subPath.empty()) return {};
    if (settings.subPath.front() != '/') return rtspSubPathSlashText;
    if (!requestable(settings.subPath)) return rtspSubPathCharactersText;
    return lengthProblem("sub stream path", settings.subPath, streamPathLimit);
}

std::string rtspLoginProblem(const std::string& login)
{
    // The URL's user part and FFmpeg's reading of it both end at the first
    // colon: the rest would be taken for the password.
    return login.find(':') == std::string::npos ? std::string() : rtspLoginColonText;
}

std::string portProblem(const std::string& port)
{
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return portNumberText;
    const int value = std::stoi(port);
    return value >= 1 && value <= 65535 ? std::string() : portNumberText;
}

}  // namespace cx
