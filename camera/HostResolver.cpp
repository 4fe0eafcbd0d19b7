#include "HostResolver.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace cx {

// Shared by the waiting caller and the lookup's thread: whichever lets go
// last frees it.
struct HostResolver::Pending {
    std::string host;
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;  // guarded by mutex
    std::string address;    // guarded by mutex
};

HostResolver::HostResolver(Lookup lookup) : lookup_(std::move(lookup)) {}

HostResolver::~HostResolver() = default;

bool HostResolver::isLiteral(const std::string& host)
{
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::string HostResolver::systemLookup(const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    // No AI_ADDRCONFIG: it hides loopback addresses on a machine whose only
    // interface is loopback, and an IPv4 address is chosen below anyway.
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return {};
    // Only one address goes on to FFmpeg: an IPv4 one where the name has
    // both, as cameras nearly always listen there.
    const addrinfo* chosen = found;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next)
        if (a->ai_family == AF_INET) {
            chosen = a;
            break;
        }
    char text[NI_MAXHOST] = {};
    const int rc = ::getnameinfo(chosen->ai_addr, chosen->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
    ::freeaddrinfo(found);
    return rc == 0 ? std::string(text) : std::string();
}

Resolved HostResolver::resolve(const std::string& host, const StopToken& stop,
                               std::chrono::steady_clock::time_point deadline)
{
    if (isLiteral(host)) return {Resolve::Resolved, host};
    if (!pending_ || pending_->host != host) {
        auto pending = std::make_shared<Pending>();
        pending->host = host;
        try {
            std::thread([pending, lookup = lookup_] {
                std::string address = lookup ? lookup(pending->host) : std::string();
                std::lock_guard lock(pending->mutex);
                pending->address = std::move(address);
                pending->finished = true;
                pending->done.notify_all();
            }).detach();
        } catch (const std::system_error&) {
            return {Resolve::NotFound, {}};  // no thread to spare: tried again later like a failed lookup
        }
        pending_ = std::move(pending);
    }
    // Slices short enough that a stop ends the wait well within its time.
    constexpr auto slice = std::chrono::milliseconds(50);
    std::unique_lock lock(pending_->mutex);
    for (;;) {
        if (pending_->finished) {
            std::string address = std::move(pending_->address);
            lock.unlock();
            pending_.reset();  // a later try asks again: addresses change
            if (address.empty()) return {Resolve::NotFound, {}};
            return {Resolve::Resolved, std::move(address)};
        }
        if (stop && stop()) return {Resolve::Stopped, {}};
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return {Resolve::TimedOut, {}};
        pending_->done.wait_until(lock, std::min(deadline, now + slice));
    }
}

}  // namespace cx
