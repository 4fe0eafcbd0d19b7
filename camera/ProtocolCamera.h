#pragma once
// The binary camera protocol: fixed-length messages with ASCII-decimal
// codes over one TCP connection per camera. Every wait is sliced so the
// `cancelled` predicate ends it within a moment; a silent peer times out.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace cx {

class AppState;
class Notifier;

inline constexpr int MESSAGE_PACKET_LENGTH = 4;
inline constexpr int IMG_XFER_USER_AUTH_PKT_LEN = 48;
inline constexpr int IMG_XFER_USER_AUTH_RSLT_PKT_LEN = 4;
inline constexpr int IMAGE_HEADER_LENGTH = 32;
inline constexpr int PROTOCOL_BUFFER_SIZE = 81920;

inline constexpr int greetingAccepted = 121;
inline constexpr int greetingTooManyClients = 120;
inline constexpr int loginMessageCode = 300;
inline constexpr int loginAccepted = 301;
inline constexpr int loginRefused = 302;
inline constexpr int imageRequestCode = 110;
inline constexpr int imageHeaderCode = 130;
inline constexpr size_t maxCredentialLength = 15;

// The message code of a 4-byte field.
int messageCode(const uint8_t* field);
// The 48-byte login; nothing when login or password exceed 15 characters.
std::optional<std::array<uint8_t, IMG_XFER_USER_AUTH_PKT_LEN>> buildLoginMessage(const std::string& login,
                                                                                 const std::string& password);
struct ImageHeader {
    int code = 0;
    long long size = 0;  // announced JPEG byte count
};
ImageHeader parseImageHeader(const uint8_t* header);

// The IPv4 address (host byte order) of a numeric host text, read as the
// C library's inet_aton reads it, short forms included ("10.0.0", "127.1",
// "2130706433", "0x7f.1"); nothing for a name, which is never resolved.
std::optional<uint32_t> protocolHostAddress(const std::string& host);

struct ProtocolTimeouts {
    int connectTimeoutMs = 3000;
    int readTimeoutMs = 10000;
};

class ProtocolCamera {
public:
    ProtocolCamera(AppState& state, Notifier& notifier, ProtocolTimeouts timeouts, std::function<bool()> cancelled);

    int ConnectToCamera(int slot);
    int LoginToCamera(int slot, const std::string& login, const std::string& password);
    int SendImageRequestPacket(int slot);
    // n, the count received before the camera closed the connection, -1 on
    // an error, time-out or cancel, 0 without a connection.
    int ReceiveExactly(int slot, uint8_t* buffer, int n);
    void CloseConnection(int slot);

    // True when the last wait gave up because a stop was requested.
    bool lastWaitCancelled() const { return cancelledWait_; }

private:
    void message(const std::string& text);
    bool waitFor(int fd, short events, int timeoutMs);

    AppState& state_;
    Notifier& notifier_;
    ProtocolTimeouts timeouts_;
    std::function<bool()> cancelled_;
    // Why the last wait gave up: the peer was silent too long, or a stop
    // was requested. Neither is a wrong answer from the camera.
    bool timedOut_ = false;
    bool cancelledWait_ = false;
};

}  // namespace cx
