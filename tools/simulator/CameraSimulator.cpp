#include "CameraSimulator.h"
#include "AsciiLower.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace cx::sim {

namespace {

using Clock = std::chrono::steady_clock;

std::string md5Hex(const std::string& text)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

// Parameters of a "Digest a=b, c="d"" header value.
std::map<std::string, std::string> digestParameters(const std::string& value)
{
    std::map<std::string, std::string> out;
    size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && (value[i] == ' ' || value[i] == ',')) ++i;
        const size_t eq = value.find('=', i);
        if (eq == std::string::npos) break;
        std::string key = asciiLower(value.substr(i, eq - i));
        i = eq + 1;
        std::string v;
        if (i < value.size() && value[i] == '"') {
            const size_t end = value.find('"', i + 1);
            v = value.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
            i = end == std::string::npos ? value.size() : end + 1;
        } else {
            const size_t end = value.find(',', i);
            v = value.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? value.size() : end;
        }
        out[key] = v;
    }
    return out;
}

}  // namespace

struct CameraSimulator::Camera {
    CameraConfig config;
    int listenFd = -1;
    int port = 0;
    std::unique_ptr<FrameSource> frames;
    std::atomic<uint64_t> sent{0};
    std::atomic<uint64_t> accepted{0};
};

CameraSimulator::CameraSimulator() = default;

CameraSimulator::~CameraSimulator()
{
    stop();
}

namespace {

// Waits for `events` on fd in short slices so a stop request is seen; false
// on stop, error or after `timeoutMs` (negative: no limit).
bool waitFor(int fd, short events, const std::atomic<bool>& stopping, int timeoutMs = 10000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!stopping.load()) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, 50);
        if (rc > 0) return (p.revents & (events | POLLHUP | POLLERR)) != 0;
        if (rc < 0 && errno != EINTR) return false;
        if (timeoutMs >= 0 && Clock::now() > deadline) return false;
    }
    return false;
}

bool sendAll(int fd, const void* data, size_t size, const std::atomic<bool>& stopping)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (!waitFor(fd, POLLOUT, stopping)) return false;
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool sendText(int fd, const std::string& text, const std::atomic<bool>& stopping)
{
    return sendAll(fd, text.data(), text.size(), stopping);
}

bool receiveExactly(int fd, void* data, size_t size, const std::atomic<bool>& stopping)
{
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        if (!waitFor(fd, POLLIN, stopping, 30000)) return false;
        const ssize_t n = ::recv(fd, p, size, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads the request head (up to the blank line); empty on failure.
std::string readRequest(int fd, const std::atomic<bool>& stopping)
{
    std::string head;
    char buffer[2048];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (head.size() > 32768 || !waitFor(fd, POLLIN, stopping)) return {};
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return {};
        head.append(buffer, static_cast<size_t>(n));
    }
    return head;
}

void sleepUnlessStopped(std::chrono::steady_clock::duration d, const std::atomic<bool>& stopping)
{
    const auto end = Clock::now() + d;
    while (!stopping.load() && Clock::now() < end) {
        const auto left = end - Clock::now();
        std::this_thread::sleep_for(std::min<Clock::duration>(left, std::chrono::milliseconds(20)));
    }
}

void stallUntilStopped(int fd, const std::atomic<bool>& stopping)
{
    // Drain whatever arrives, end when the peer closes or we stop.
    char sink[512];
    while (!stopping.load()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0) {
            if (::recv(fd, sink, sizeof sink, 0) <= 0) return;
        }
    }
}

}  // namespace

int CameraSimulator::add(const CameraConfig& config)
{
    auto camera = std::make_unique<Camera>();
    camera->config = config;
    if (config.scene > 0)
        camera->frames = std::make_unique<FrameSource>(FrameSource::scene(config.width, config.height, config.scene));
    else
        camera->frames = config.photos.empty() ? std::make_unique<FrameSource>(config.width, config.height)
                                               : std::make_unique<FrameSource>(config.photos);
    if (camera->frames->empty()) return 0;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(config.port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return 0;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    camera->listenFd = fd;
    camera->port = ntohs(addr.sin_port);
    Camera& ref = *camera;
    cameras_.push_back(std::move(camera));
    std::lock_guard lock(threadsLock_);
    threads_.emplace_back([this, &ref] { acceptLoop(ref); });
    return ref.port;
}

void CameraSimulator::stop()
{
    stopping_ = true;
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(threadsLock_);
        for (int fd : openSockets_) ::shutdown(fd, SHUT_RDWR);
        threads.swap(threads_);
    }
    for (auto& t : threads) t.join();
    // Connection threads started while we joined.
    for (;;) {
        std::vector<std::thread> late;
        {
            std::lock_guard lock(threadsLock_);
            late.swap(threads_);
        }
        if (late.empty()) break;
        for (auto& t : late) t.join();
    }
    for (auto& c : cameras_) {
        if (c->listenFd >= 0) ::close(c->listenFd);
        c->listenFd = -1;
    }
}

uint64_t CameraSimulator::framesSent(size_t index) const
{
    return index < cameras_.size() ? cameras_[index]->sent.load() : 0;
}

uint64_t CameraSimulator::connections(size_t index) const
{
    return index < cameras_.size() ? cameras_[index]->accepted.load() : 0;
}

void CameraSimulator::acceptLoop(Camera& camera)
{
    while (!stopping_.load()) {
        if (!waitFor(camera.listenFd, POLLIN, stopping_, -1)) continue;
        const int fd = ::accept4(camera.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ++camera.accepted;
        std::lock_guard lock(threadsLock_);
        if (stopping_.load()) {
            ::close(fd);
            break;
        }
        openSockets_.push_back(fd);
        threads_.emplace_back([this, &camera, fd] {
            serve(camera, fd);
            std::lock_guard l(threadsLock_);
            openSockets_.erase(std::remove(openSockets_.begin(), openSockets_.end(), fd), openSockets_.end());
            ::close(fd);
        });
    }
}

void CameraSimulator::serve(Camera& camera, int fd)
{
    if (camera.config.fault == Fault::CloseAtOnce) return;
    if (camera.config.kind == CameraKind::Protocol) serveProtocol(camera, fd);
    else serveHttp(camera, fd);
}

void CameraSimulator::serveHttp(Camera& camera, int fd)
{
    const CameraConfig& c = camera.config;
    const std::string head = readRequest(fd, stopping_);
    if (head.empty()) return;

    const size_t firstSpace = head.find(' ');
    const size_t secondSpace = head.find(' ', firstSpace + 1);
    const std::string target =
        firstSpace == std::string::npos ? "" : head.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    std::string authorization;
    {
        const std::string lowered = asciiLower(head);
        const size_t at = lowered.find("\r\nauthorization:");
        if (at != std::string::npos) {
            const size_t start = at + 16;
            authorization = head.substr(start, head.find("\r\n", start) - start);
            authorization.erase(0, authorization.find_first_not_of(' '));
        }
    }

    if (target == "/moved") {  // where our redirects point
        sendText(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nmoved", stopping_);
        return;
    }
    if (target != c.path) {
        sendText(fd, "HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n", stopping_);
        return;
    }

    if (c.auth != Auth::None) {
        bool ok = false;
        if (c.auth == Auth::Basic && authorization.rfind("Basic ", 0) == 0) {
            const std::string expected =
                QByteArray::fromStdString(c.user + ":" + c.password).toBase64().toStdString();
            ok = authorization.substr(6) == expected;
        } else if (c.auth == Auth::Digest && authorization.rfind("Digest ", 0) == 0) {
            auto p = digestParameters(authorization.substr(7));
            const std::string ha1 = md5Hex(c.user + ":cxsim:" + c.password);
            const std::string ha2 = md5Hex("GET:" + p["uri"]);
            const std::string expected =
                md5Hex(ha1 + ":" + p["nonce"] + ":" + p["nc"] + ":" + p["cnonce"] + ":" + p["qop"] + ":" + ha2);
            ok = p["username"] == c.user && p["nonce"] == "5e1f0cc0ffee" && p["response"] == expected;
        }
        if (!ok) {
            const std::string challenge = c.auth == Auth::Basic
                                              ? "WWW-Authenticate: Basic realm=\"cxsim\"\r\n"
                                              : "WWW-Authenticate: Digest realm=\"cxsim\", qop=\"auth\", "
                                                "nonce=\"5e1f0cc0ffee\", algorithm=MD5\r\n";
            sendText(fd, "HTTP/1.0 401 Unauthorized\r\n" + challenge + "Content-Length: 0\r\n\r\n", stopping_);
            return;
        }
    }

    if (c.redirect != 0) {
        std::string response = "HTTP/1.0 " + std::to_string(c.redirect) + " Moved\r\n";
        if (c.redirectLocation) {
            const std::string location =
                c.location.empty() ? "http://127.0.0.1:" + std::to_string(camera.port) + "/moved" : c.location;
            response += "Location: " + location + "\r\n";
        }
        response += "Content-Length: 0\r\n\r\n";
        sendText(fd, response, stopping_);
        return;
    }

    const bool faultyFrame = [&] {
        // Snapshot cameras count frames across requests.
        const uint64_t n = camera.sent.load();
        return c.fault != Fault::None && n >= static_cast<uint64_t>(c.faultAfter) &&
               n < static_cast<uint64_t>(c.faultAfter + c.faultCount);
    }();

    if (c.kind == CameraKind::Snapshot || c.kind == CameraKind::SnapshotNoLength) {
        if (c.fps > 0) sleepUnlessStopped(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / c.fps)), stopping_);
        const uint64_t number = camera.sent.fetch_add(1);
        const auto jpeg = camera.frames->frame(number);
        const bool hugeLength = faultyFrame && (c.fault == Fault::HugeLength || c.fault == Fault::HugeLengthWithFrame);
        std::string headers = "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n";
        if (hugeLength) headers += "Content-Length: 1000000000000000\r\n";
        else if (c.kind == CameraKind::Snapshot) headers += "Content-Length: " + std::to_string(jpeg.size()) + "\r\n";
        headers += "\r\n";
        if (!sendText(fd, headers, stopping_)) return;
        if (faultyFrame && c.fault == Fault::HugeLength) return;
        if (faultyFrame && (c.fault == Fault::StallAfterHeaders)) return stallUntilStopped(fd, stopping_);
        if (faultyFrame && (c.fault == Fault::CloseMidFrame || c.fault == Fault::StallMidFrame)) {
            sendAll(fd, jpeg.data(), jpeg.size() / 2, stopping_);
            if (c.fault == Fault::StallMidFrame) stallUntilStopped(fd, stopping_);
            return;
        }
        sendAll(fd, jpeg.data(), jpeg.size(), stopping_);
        return;
    }

    if (c.kind == CameraKind::Audio) {
        if (!sendText(fd, "HTTP/1.0 200 OK\r\nContent-Type: audio/basic\r\n\r\n", stopping_)) return;
        std::string chunk;
        for (int line = 0; line < 4; ++line) chunk += std::string(160, static_cast<char>('a' + line)) + "\r\n";
        while (!stopping_.load()) {
            if (!sendText(fd, chunk, stopping_)) return;
            ++camera.sent;
            sleepUnlessStopped(std::chrono::milliseconds(20), stopping_);
        }
        return;
    }

    // Multipart stream.
    if (!sendText(fd, "HTTP/1.0 200 OK\r\nContent-Type: multipart/x-mixed-replace;boundary=myboundary\r\n\r\n",
                  stopping_))
        return;
    if (c.fault == Fault::StallAfterHeaders && c.faultAfter == 0) return stallUntilStopped(fd, stopping_);

    std::mt19937 random(static_cast<unsigned>(camera.port));
    const auto period = c.fps > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / c.fps))
                                  : Clock::duration::zero();
    auto next = Clock::now();
    for (int k = 0; !stopping_.load(); ++k) {
        if (period != Clock::duration::zero()) {
            sleepUnlessStopped(next - Clock::now(), stopping_);
            next += period;
        }
        const bool faulty = c.fault != Fault::None && k >= c.faultAfter && k < c.faultAfter + c.faultCount;
        if (faulty && c.fault == Fault::EndStream) return;
        if (faulty && c.fault == Fault::StallAfterHeaders) return stallUntilStopped(fd, stopping_);
        if (faulty && c.fault == Fault::Garbage) {
            std::string junk(3000, '\0');
            for (auto& ch : junk) ch = static_cast<char>(random() & 0xFF);
            if (!sendText(fd, junk, stopping_)) return;
            continue;
        }
        if (faulty && c.fault == Fault::LongLine) {
            const std::string block(64 * 1024, 'x');
            for (int b = 0; b < 64 && !stopping_.load(); ++b)  // 4 MiB, no line end
                if (!sendText(fd, block, stopping_)) return;
            if (!sendText(fd, "\r\n", stopping_)) return;
            continue;
        }
        if (faulty && c.fault == Fault::HeaderFlood) {
            std::string lines;
            for (uint64_t n = 0; !stopping_.load(); ++n) {
                lines += "X-Flood: " + std::to_string(n) + "\r\n";
                if (lines.size() < 4096) continue;
                if (!sendText(fd, lines, stopping_)) return;
                lines.clear();
            }
            return;
        }
        const uint64_t number = camera.sent.load();
        const auto jpeg = camera.frames->frame(number);
        std::string lines = "--myboundary\r\nContent-Type: image/jpeg\r\n";
        for (int extra = 2; extra < c.linesBefore; ++extra) lines += "X-Frame-Line: " + std::to_string(extra) + "\r\n";
        if (c.linesBefore < 2) lines = c.linesBefore == 1 ? "--myboundary\r\n" : "";
        if (faulty && c.fault == Fault::LengthWithoutBlank) lines += "Content-Length:" + std::to_string(jpeg.size());
        else if (faulty && c.fault == Fault::LengthZero) lines += "Content-Length: 0";
        else if (faulty && c.fault == Fault::OversizedLength) lines += "Content-Length: 4000000000";
        else if (faulty && c.fault == Fault::NegativeLength) lines += "Content-Length: -5";
        else if (faulty && c.fault == Fault::NonNumericLength) lines += "Content-Length: abc";
        else if (faulty && c.fault == Fault::MissingLength) lines += "X-No-Length: 1";
        else lines += "Content-Length: " + std::to_string(jpeg.size());
        lines += "\r\n\r\n";
        if (!sendText(fd, lines, stopping_)) return;
        if (faulty && c.fault == Fault::LengthZero) continue;  // nothing follows an empty frame
        if (faulty && c.fault == Fault::Drip) {
            // A camera on a dying link: the frame trickles in and never ends in time.
            for (size_t b = 0; b < jpeg.size() && !stopping_.load(); ++b) {
                if (!sendAll(fd, &jpeg[b], 1, stopping_)) return;
                for (int waited = 0; waited < c.dripMs && !stopping_.load(); waited += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return;
        }
        if (faulty && (c.fault == Fault::CloseMidFrame || c.fault == Fault::StallMidFrame)) {
            sendAll(fd, jpeg.data(), jpeg.size() / 2, stopping_);
            if (c.fault == Fault::StallMidFrame) stallUntilStopped(fd, stopping_);
            return;
        }
        std::string after;
        for (int i = 0; i < c.linesAfter; ++i) after += "\r\n";
        if (!sendAll(fd, jpeg.data(), jpeg.size(), stopping_) || !sendText(fd, after, stopping_)) return;
        ++camera.sent;
    }
}

void CameraSimulator::serveProtocol(Camera& camera, int fd)
{
    const CameraConfig& c = camera.config;
    if (c.fault == Fault::StallAfterHeaders && c.faultAfter == 0) return stallUntilStopped(fd, stopping_);  // silent
    char code[8];
    std::snprintf(code, sizeof code, "%04d", c.greeting);
    if (!sendAll(fd, code, 4, stopping_) || c.greeting != 121) return stallUntilStopped(fd, stopping_);

    uint8_t login[48];
    if (!receiveExactly(fd, login, sizeof login, stopping_)) return;
    const std::string user(reinterpret_cast<const char*>(login + 16), strnlen(reinterpret_cast<const char*>(login + 16), 16));
    const std::string password(reinterpret_cast<const char*>(login + 32), strnlen(reinterpret_cast<const char*>(login + 32), 16));
    const bool credentialsOk = c.user.empty() || (user == c.user && password == c.password);
    const int result = credentialsOk ? c.loginResult : 302;
    std::snprintf(code, sizeof code, "%04d", result);
    if (!sendAll(fd, code, 4, stopping_) || result != 301) return stallUntilStopped(fd, stopping_);

    const auto period = c.fps > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / c.fps))
                                  : Clock::duration::zero();
    auto next = Clock::now();
    for (int k = 0; !stopping_.load(); ++k) {
        uint8_t request[4];
        if (!receiveExactly(fd, request, sizeof request, stopping_)) return;
        if (std::memcmp(request, "0110", 4) != 0) continue;
        if (period != Clock::duration::zero()) {
            sleepUnlessStopped(next - Clock::now(), stopping_);
            next = std::max(next + period, Clock::now() - period);
        }
        const bool faulty = c.fault != Fault::None && k >= c.faultAfter && k < c.faultAfter + c.faultCount;
        if (faulty && c.fault == Fault::EndStream) return;
        const uint64_t number = camera.sent.load();
        const auto jpeg = camera.frames->frame(number);
        char header[33];
        std::snprintf(header, sizeof header, "%-20s%04d%08zu", "cxsim-image-header", faulty && c.fault == Fault::HeaderCode131 ? 131 : 130,
                      jpeg.size());
        if (faulty && c.fault == Fault::EndInHeader) {
            sendAll(fd, header, 12, stopping_);
            return;
        }
        if (faulty && (c.fault == Fault::ZeroCount || c.fault == Fault::HugeCount || c.fault == Fault::NonDigitCount)) {
            const char* count = c.fault == Fault::ZeroCount ? "00000000" : c.fault == Fault::HugeCount ? "99999999" : "12ab5678";
            std::memcpy(header + 24, count, 8);
            if (!sendAll(fd, header, 32, stopping_)) return;
            // What a broken camera might send after it: the picture anyway.
            if (!sendAll(fd, jpeg.data(), jpeg.size(), stopping_)) return;
            continue;
        }
        if (faulty && c.fault == Fault::HeaderCode131) {
            if (!sendAll(fd, header, 32, stopping_)) return;
            continue;
        }
        // Headers may arrive in pieces: send them split on purpose.
        if (!sendAll(fd, header, 10, stopping_) || !sendAll(fd, header + 10, 22, stopping_)) return;
        if (faulty && (c.fault == Fault::CloseMidFrame || c.fault == Fault::StallMidFrame)) {
            sendAll(fd, jpeg.data(), jpeg.size() / 2, stopping_);
            if (c.fault == Fault::StallMidFrame) stallUntilStopped(fd, stopping_);
            return;
        }
        if (!sendAll(fd, jpeg.data(), jpeg.size(), stopping_)) return;
        ++camera.sent;
    }
}

}  // namespace cx::sim
