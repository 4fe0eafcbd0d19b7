#pragma once
// Turns a camera's host name into a numeric address without ever holding a
// stop: the system's lookup blocks for as long as its name server takes
// and nothing can cut it short, so it runs on a thread of its own that is
// left behind when the caller stops waiting. Literal addresses are taken
// as they are.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "Clock.h"

namespace cx {

enum class Resolve {
    Resolved,
    NotFound,  // the lookup found no address
    Stopped,   // the stop token ended the wait
    TimedOut,  // the deadline passed first
};

struct Resolved {
    Resolve end = Resolve::NotFound;
    std::string address;  // numeric ("192.0.2.7", "2001:db8::7"); empty unless Resolved
};

class HostResolver {
public:
    // A blocking lookup: the host's numeric address, or "" when it has none.
    // May take any time, or never return; it runs on a thread that may
    // outlive the resolver, so it must own whatever it uses.
    using Lookup = std::function<std::string(const std::string& host)>;

    explicit HostResolver(Lookup lookup = systemLookup);
    ~HostResolver();
    HostResolver(const HostResolver&) = delete;
    HostResolver& operator=(const HostResolver&) = delete;

    // Waits in short slices that ask `stop` and the clock. A lookup left
    // unfinished by a stop or the deadline is waited for again by the next
    // call for the same host instead of starting another. From one thread
    // at a time.
    Resolved resolve(const std::string& host, const StopToken& stop, std::chrono::steady_clock::time_point deadline);

    // The system's resolver (getaddrinfo): its first IPv4 address, else its first.
    static std::string systemLookup(const std::string& host);
    // `host` is an IPv4 or IPv6 address written out.
    static bool isLiteral(const std::string& host);

private:
    struct Pending;

    Lookup lookup_;
    std::shared_ptr<Pending> pending_;
};

}  // namespace cx
