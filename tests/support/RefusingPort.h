#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace cx::test {

// A four-digit port of 127.0.0.1 that refuses connections: bound, never
// listening. release() frees it for a simulated camera.
class RefusingPort {
public:
    RefusingPort()
    {
        int candidate = 2000 + static_cast<int>(::getpid() % 4000);
        for (int tries = 0; tries < 400 && port_ == 0; ++tries, ++candidate) {
            if (candidate > 6999) candidate = 2000;
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd < 0) return;
            sockaddr_in addr{};
            addr.sin_family = AF_INET;
            addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            addr.sin_port = htons(static_cast<uint16_t>(candidate));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
                fd_ = fd;
                port_ = candidate;
            } else {
                ::close(fd);
            }
        }
    }
    ~RefusingPort() { release(); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    int port() const { return port_; }
    void release()
    {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace cx::test
