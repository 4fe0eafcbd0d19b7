#include "RtspFaultProxy.h"
#include "AsciiLower.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>

namespace cx::sim {

namespace {

constexpr int sliceMs = 50;                  // how soon a stop request is seen
constexpr size_t largestMessage = 64 * 1024;  // a request head longer than this ends the connection

bool sendAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// The Content-Length of a message head, 0 when it has none.
size_t contentLength(const std::string& head)
{
    const std::string lowered = asciiLower(head);
    const size_t at = lowered.find("\r\ncontent-length:");
    if (at == std::string::npos) return 0;
    return static_cast<size_t>(std::strtoul(head.c_str() + at + 17, nullptr, 10));
}

}  // namespace

RtspFaultProxy::RtspFaultProxy(RtspFault fault, int backendPort) : fault_(fault), backendPort_(backendPort) {}

RtspFaultProxy::~RtspFaultProxy()
{
    stop();
}

int RtspFaultProxy::listen(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return 0;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    listenFd_ = fd;
    std::lock_guard guard(lock_);
    threads_.emplace_back([this] { acceptLoop(); });
    return ntohs(addr.sin_port);
}

void RtspFaultProxy::stop()
{
    stopping_ = true;
    // Connection threads may start while the first ones are joined.
    for (;;) {
        std::vector<std::thread> threads;
        {
            std::lock_guard guard(lock_);
            for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
            threads.swap(threads_);
        }
        if (threads.empty()) break;
        for (auto& t : threads) t.join();
    }
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

void RtspFaultProxy::acceptLoop()
{
    while (!stopping_.load()) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, sliceMs) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard guard(lock_);
        if (stopping_.load()) {
            ::close(fd);
            break;
        }
        open_.push_back(fd);
        threads_.emplace_back([this, fd] {
            serve(fd);
            std::lock_guard g(lock_);
            open_.erase(std::remove(open_.begin(), open_.end(), fd), open_.end());
            ::close(fd);
        });
    }
}

void RtspFaultProxy::serve(int fd)
{
    if (fault_ == RtspFault::StallAfterSetup) return relayUntilPlay(fd);
    std::mt19937 random(static_cast<unsigned>(fd) * 7919u);
    bool asked = false;
    char buffer[4096];
    while (!stopping_.load()) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, fault_ == RtspFault::Garbage && asked ? 40 : sliceMs);
        if (ready > 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EINTR)) return;
            asked = true;
        }
        if (fault_ != RtspFault::Garbage || !asked) continue;  // NeverAnswer: read and keep quiet
        // Garbage: a kilobyte of noise every 40 ms, once the client has spoken.
        for (auto& byte : buffer) byte = static_cast<char>(random() & 0xFF);
        if (!sendAll(fd, buffer, 1024)) return;
    }
}

void RtspFaultProxy::relayUntilPlay(int client)
{
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (server < 0) return;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(backendPort_));
    if (::connect(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(server);
        return;
    }
    const int one = 1;
    ::setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    // Requests pass whole, one at a time, until PLAY: that one and all after it are swallowed.
    std::string pending;
    bool stalled = false;
    char buffer[16384];
    while (!stopping_.load()) {
        pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (::poll(p, 2, sliceMs) <= 0) continue;
        if (p[1].revents != 0) {
            const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
            if (n <= 0 || !sendAll(client, buffer, static_cast<size_t>(n))) break;
        }
        if (p[0].revents == 0) continue;
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (stalled) continue;
        pending.append(buffer, static_cast<size_t>(n));
        for (;;) {
            size_t size = 0;
            if (!pending.empty() && pending[0] == '$') {  // interleaved data (RTCP over TCP)
                if (pending.size() < 4) break;
                size = 4 + (static_cast<uint8_t>(pending[2]) << 8 | static_cast<uint8_t>(pending[3]));
            } else {
                const size_t end = pending.find("\r\n\r\n");
                if (end == std::string::npos) break;
                const std::string head = pending.substr(0, end + 4);
                size = head.size() + contentLength(head);
                if (head.rfind("PLAY ", 0) == 0) {
                    stalled = true;
                    pending.clear();
                    break;
                }
            }
            if (pending.size() < size) break;
            if (!sendAll(server, pending.data(), size)) {
                ::close(server);
                return;
            }
            pending.erase(0, size);
        }
        if (pending.size() > largestMessage) break;
    }
    ::close(server);
}

}  // namespace cx::sim
