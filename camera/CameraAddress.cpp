#include "CameraAddress.h"

#include "TextToInt.h"

namespace cx {

HostPort SplitHttpAddress(const std::string& address)
{
    const size_t cut = address.find_first_of(":\n");
    if (cut == std::string::npos) return {address, 0};
    return {address.substr(0, cut), textToInt(address.substr(cut + 1))};
}

HostPort SplitProtocolAddress(const std::string& address)
{
    // Shorter texts give an empty host and the value of what there is.
    const std::string host = address.size() > 5 ? address.substr(0, address.size() - 5) : std::string();
    const std::string port = address.size() > 4 ? address.substr(address.size() - 4) : address;
    return {host, textToInt(port)};
}

}  // namespace cx
