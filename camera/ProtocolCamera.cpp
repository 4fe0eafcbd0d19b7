#include "ProtocolCamera.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "AppState.h"
#include "CameraAddress.h"
#include "Notifier.h"
#include "TextToInt.h"

namespace cx {

namespace {

constexpr int sliceMs = 50;

std::string formatText(const char* fmt, auto... args)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, fmt, args...);
    return buffer;
}

}  // namespace

int messageCode(const uint8_t* field)
{
    return textToInt(std::string(reinterpret_cast<const char*>(field), MESSAGE_PACKET_LENGTH).c_str());
}

std::optional<std::array<uint8_t, IMG_XFER_USER_AUTH_PKT_LEN>> buildLoginMessage(const std::string& login,
                                                                                 const std::string& password)
{
    if (login.size() > maxCredentialLength || password.size() > maxCredentialLength) return std::nullopt;
    std::array<uint8_t, IMG_XFER_USER_AUTH_PKT_LEN> m{};
    char code[8];
    std::snprintf(code, sizeof code, "%04d", loginMessageCode);
    std::memcpy(m.data(), code, 4);
    std::memcpy(m.data() + 16, login.data(), login.size());
    std::memcpy(m.data() + 32, password.data(), password.size());
    return m;
}

ImageHeader parseImageHeader(const uint8_t* header)
{
    ImageHeader h;
    h.code = messageCode(header + 20);
    h.size = textToInt(std::string(reinterpret_cast<const char*>(header + 24), 8).c_str());
    return h;
}

std::optional<uint32_t> protocolHostAddress(const std::string& host)
{
    in_addr address{};
    if (::inet_aton(host.c_str(), &address) == 0) return std::nullopt;
    return ntohl(address.s_addr);
}

ProtocolCamera::ProtocolCamera(AppState& state, Notifier& notifier, ProtocolTimeouts timeouts,
                               std::function<bool()> cancelled)
    : state_(state), notifier_(notifier), timeouts_(timeouts), cancelled_(std::move(cancelled))
{
}

void ProtocolCamera::message(const std::string& text)
{
    notifier_.notify(text, "Corvanex", NotifyIcon::None);
}

bool ProtocolCamera::waitFor(int fd, short events, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    timedOut_ = false;
    cancelledWait_ = false;
    for (;;) {
        if (cancelled_ && cancelled_()) {
            cancelledWait_ = true;
            return false;
        }
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, sliceMs);
        if (rc > 0) return true;
        if (rc < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            timedOut_ = true;
            return false;
        }
    }
}

int ProtocolCamera::ConnectToCamera(int slot)
{
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    if (!camera) return 0;
    const auto i = static_cast<size_t>(slot);
    const HostPort target = SplitProtocolAddress(camera->address);

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    state_.protocolSocket[i] = fd;
    if (fd < 0) {
        message(formatText("tcp socket create error: error code is %d", errno));
        return 0;
    }
    const std::optional<uint32_t> host = protocolHostAddress(target.host);
    if (!host) {
        message("unknown server name");
        CloseConnection(slot);
        return 0;
    }
    if (target.port <= 0 || target.port > 65535) {
        // An address without a usable port cannot be reached: a failed
        // connect, which is not reported.
        CloseConnection(slot);
        return 0;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(target.port));
    addr.sin_addr.s_addr = htonl(*host);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc != 0 && errno == EINPROGRESS) {
        if (waitFor(fd, POLLOUT, timeouts_.connectTimeoutMs)) {
            int error = 0;
            socklen_t len = sizeof error;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
            rc = error == 0 ? 0 : -1;
        }
    }
    if (rc != 0) {
        // Refused or timed out: no message, the caller tries again later.
        CloseConnection(slot);
        return 0;
    }

    uint8_t greeting[MESSAGE_PACKET_LENGTH];
    const int n = ReceiveExactly(slot, greeting, MESSAGE_PACKET_LENGTH);
    if (n == MESSAGE_PACKET_LENGTH) {
        const int code = messageCode(greeting);
        if (code == greetingAccepted) return 1;
        if (code == greetingTooManyClients) message("ERROR: Exceeds maximum client number");
        else message(formatText("Error: unexpected message from camera(%d)", code));
    } else if (n == -1 && (cancelledWait_ || timedOut_)) {
        // Stopped, or a camera that accepted and said nothing: no wrong answer.
    } else if (n == -1) {
        message("ConnectToCamera:  read error");
    } else {
        message(formatText("nRead(%d) is not equal to MESSAGE_PACKET_LENGTH(%d)", n, MESSAGE_PACKET_LENGTH));
    }
    CloseConnection(slot);
    return 0;
}

int ProtocolCamera::LoginToCamera(int slot, const std::string& login, const std::string& password)
{
    if (!validSlot(slot) || state_.protocolSocket[static_cast<size_t>(slot)].load() < 0) return 0;
    const auto i = static_cast<size_t>(slot);
    const auto packet = buildLoginMessage(login, password);
    if (!packet) {
        CloseConnection(slot);
        message("Error: login and password may have at most 15 characters");
        return 0;
    }
    const int fd = state_.protocolSocket[i].load();
    const std::optional<CameraEntry> camera = state_.cameraEntry(slot);
    const std::string address = camera ? camera->address : std::string();
    ssize_t sent = -1;
    if (waitFor(fd, POLLOUT, timeouts_.readTimeoutMs)) sent = ::send(fd, packet->data(), packet->size(), MSG_NOSIGNAL);
    if (sent == -1 && (cancelledWait_ || timedOut_)) {
        CloseConnection(slot);
        return 0;
    }
    if (sent == -1) {
        const std::string text = formatText("FAILURE: (%d) LoginToCamera (%s)\n", errno,
                                            address.c_str());
        state_.setStatusText(text);
        CloseConnection(slot);
        message(text);
        return 0;
    }
    if (sent != IMG_XFER_USER_AUTH_PKT_LEN) {
        message(formatText("nWrite(%d) is not equal to IMG_XFER_USER_AUTH_PKT_LEN(%d)", static_cast<int>(sent),
                           IMG_XFER_USER_AUTH_PKT_LEN));
        CloseConnection(slot);
        return 0;
    }
    uint8_t result[IMG_XFER_USER_AUTH_RSLT_PKT_LEN];
    const int n = ReceiveExactly(slot, result, IMG_XFER_USER_AUTH_RSLT_PKT_LEN);
    if (n == -1 && (cancelledWait_ || timedOut_)) {
        CloseConnection(slot);
        return 0;
    }
    if (n == -1) {
        message("LoginToCamera: read error");
        CloseConnection(slot);
        return 0;
    }
    if (n != IMG_XFER_USER_AUTH_RSLT_PKT_LEN) {
        message(formatText("FAILURE: (%d) nRead(%d) is not equal to IMG_XFER_USER_AUTH_RSLT_PKT_LEN(%d)", errno, n,
                           IMG_XFER_USER_AUTH_RSLT_PKT_LEN));
        CloseConnection(slot);
        return 0;
    }
    const int code = messageCode(result);
    if (code == loginAccepted) return 1;
    if (code == loginRefused) message("Error: User Authentication failed");
    else message(formatText("Error: unexpected message from camera(%d)", code));
    CloseConnection(slot);
    return 0;
}

int ProtocolCamera::SendImageRequestPacket(int slot)
{
    if (!validSlot(slot) || state_.loadedRows == 0) return 0;
    const int fd = state_.protocolSocket[static_cast<size_t>(slot)].load();
    if (fd < 0) return 0;
    char request[8];
    std::snprintf(request, sizeof request, "%04d", imageRequestCode);
    // Four bytes almost always fit at once; only a full socket waits.
    cancelledWait_ = false;
    timedOut_ = false;
    ssize_t sent = ::send(fd, request, MESSAGE_PACKET_LENGTH, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent == -1 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitFor(fd, POLLOUT, timeouts_.readTimeoutMs))
        sent = ::send(fd, request, MESSAGE_PACKET_LENGTH, MSG_NOSIGNAL);
    if (sent == MESSAGE_PACKET_LENGTH) return 1;
    if (sent == -1 && cancelledWait_) return 0;
    if (sent == -1) {
        state_.setStatusText(formatText("SendImageRequestPacket: write error for Socket %d  (Error %d)", slot, errno));
        return 0;
    }
    message(formatText("nWrite(%d) is not equal to MESSAGE_PACKET_LENGTH(%d)", static_cast<int>(sent),
                       MESSAGE_PACKET_LENGTH));
    return 1;
}

int ProtocolCamera::ReceiveExactly(int slot, uint8_t* buffer, int n)
{
    if (!validSlot(slot) || state_.loadedRows == 0) return 0;
    const int fd = state_.protocolSocket[static_cast<size_t>(slot)].load();
    if (fd < 0) return 0;
    timedOut_ = false;
    cancelledWait_ = false;
    int total = 0;
    while (total < n) {
        // Bytes that are already there are taken without a wait: one
        // receive per picture instead of a poll and a receive.
        const ssize_t got = ::recv(fd, buffer + total, static_cast<size_t>(n - total), MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLIN, timeouts_.readTimeoutMs)) return -1;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return -1;
        if (got == 0) {
            state_.setStatusText(formatText("Receiving data failure: Socket number %d  (Total read:  %d)", slot, total));
            return total;
        }
        total += static_cast<int>(got);
    }
    return n;
}

void ProtocolCamera::CloseConnection(int slot)
{
    if (!validSlot(slot)) return;
    // The entry is cleared before the close, whatever close returns: Linux
    // releases the number even when close reports an error, and a number
    // kept in the table would later close whatever reused it (another
    // camera's socket, a recording file). exchange also keeps two callers
    // from closing the same number.
    const int fd = state_.protocolSocket[static_cast<size_t>(slot)].exchange(-1);
    if (fd < 0) return;
    ::shutdown(fd, SHUT_RDWR);
    if (::close(fd) != 0 && errno != EINTR) message("closesocket failed");
}

}  // namespace cx
