#pragma once
// Splitting a slot's address text into host and port.

#include <ostream>
#include <string>

namespace cx {

struct HostPort {
    std::string host;
    int port = 0;
    bool operator==(const HostPort&) const = default;
};

// Readable test failures.
inline std::ostream& operator<<(std::ostream& out, const HostPort& hp) { return out << '"' << hp.host << "\" " << hp.port; }

// Host up to the first ":" or line feed, port the decimal value after it.
HostPort SplitHttpAddress(const std::string& address);

// Binary-protocol cameras: the host is the text without its last five
// characters, the port the value of the last four (a four-digit port).
HostPort SplitProtocolAddress(const std::string& address);

}  // namespace cx
