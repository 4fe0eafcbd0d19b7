#pragma once
// A stalled server on 127.0.0.1: it accepts every connection, reads what
// comes (noting each request's path) and never answers. The accept loop
// ends with the object, or by itself after a minute should a test forget it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace cx::test {

class SilentServer {
public:
    SilentServer()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listener_, 8) == 0) {
            socklen_t len = sizeof a;
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
            port_ = ntohs(a.sin_port);
        }
        thread_ = std::thread([this] { serve(); });
    }
    ~SilentServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    int port() const { return port_; }
    // Connections accepted so far.
    int accepted() const { return accepted_.load(); }
    // Requests received so far for exactly `path`.
    int requestsFor(const std::string& path) const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(std::count(paths_.begin(), paths_.end(), path));
    }

private:
    struct Client {
        int fd;
        std::string head;  // up to the end of the request line
    };

    void serve()
    {
        std::vector<Client> open;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!stop_ && port_ > 0 && std::chrono::steady_clock::now() < giveUp) {
            std::vector<pollfd> polls{{listener_, POLLIN, 0}};
            for (const Client& c : open) polls.push_back({c.fd, POLLIN, 0});
            if (::poll(polls.data(), polls.size(), 20) <= 0) continue;
            // Read the requests away so the clients' writes never block; a
            // client that went away is closed here.
            for (size_t k = polls.size() - 1; k >= 1; --k) {
                if (!(polls[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                Client& c = open[k - 1];
                char buf[1024];
                const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
                if (n <= 0) {
                    ::close(c.fd);
                    open.erase(open.begin() + static_cast<long>(k - 1));
                    continue;
                }
                const bool lineBefore = c.head.find("\r\n") != std::string::npos;
                c.head.append(buf, static_cast<size_t>(std::min<ssize_t>(n, 4096)));
                if (!lineBefore && c.head.find("\r\n") != std::string::npos) {
                    const size_t sp = c.head.find(' '), sp2 = c.head.find(' ', sp + 1);
                    std::lock_guard lock(mutex_);
                    paths_.push_back(sp == std::string::npos ? std::string() : c.head.substr(sp + 1, sp2 - sp - 1));
                }
                if (c.head.size() > 4096) c.head.resize(4096);
            }
            if (polls[0].revents & POLLIN) {
                const int fd = ::accept(listener_, nullptr, nullptr);
                if (fd >= 0) {
                    open.push_back({fd, {}});
                    ++accepted_;
                }
            }
        }
        for (const Client& c : open) ::close(c.fd);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> accepted_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> paths_;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace cx::test
