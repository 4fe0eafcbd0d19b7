#include "RtspUrl.h"

namespace cx {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendEncoded(std::string& out, unsigned char c)
{
    out += '%';
    out += hexDigits[c >> 4];
    out += hexDigits[c & 15];
}

std::string hostAndPath(const HostPort& target, const std::string& path)
{
    // An IPv6 address needs brackets to keep its colons apart from the port's.
    std::string out = target.host.find(':') != std::string::npos ? "[" + target.host + "]" : target.host;
    out += ':';
    out += std::to_string(target.port);
    if (path.empty() || path.front() != '/') out += '/';
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7f)
            appendEncoded(out, c);
        else
            out += ch;
    }
    return out;
}

}  // namespace

std::string percentEncoded(const std::string& text)
{
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                           c == '.' || c == '_' || c == '~';
        if (plain)
            out += ch;
        else
            appendEncoded(out, c);
    }
    return out;
}

std::string rtspUrl(const HostPort& target, const std::string& login, const std::string& password,
                    const std::string& path)
{
    std::string url = "rtsp://";
    if (!login.empty()) url += percentEncoded(login) + ":" + percentEncoded(password) + "@";
    return url + hostAndPath(target, path);
}

std::string rtspUrlForPeople(const HostPort& target, const std::string& path)
{
    return "rtsp://" + hostAndPath(target, path);
}

}  // namespace cx
