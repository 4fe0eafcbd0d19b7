// The binary protocol's host check and connection closing (127.0.0.1 only).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "AppState.h"
#include "CameraAddress.h"
#include "CameraSimulator.h"
#include "ProtocolCamera.h"
#include "support/RecordingNotifier.h"

using namespace cx;
using cx::sim::CameraConfig;
using cx::sim::CameraKind;
using cx::sim::CameraSimulator;
using cx::test::RecordingNotifier;

namespace {

constexpr uint32_t loopback = 0x7f000001;

// A four-digit port (what protocol addresses carry), starting somewhere
// that depends on the process so parallel runs rarely meet.
int nextFourDigitPort()
{
    static int next = 5000 + static_cast<int>(::getpid() % 4000);
    const int port = next++;
    if (next > 9999) next = 1100;
    return port;
}

// A socket bound to 127.0.0.1 on a four-digit port that never listens:
// connecting to it is refused at once.
struct RefusingPort {
    RefusingPort()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        for (int tries = 0; tries < 200 && fd >= 0; ++tries) {
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(loopback);
            const int candidate = nextFourDigitPort();
            a.sin_port = htons(static_cast<uint16_t>(candidate));
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                port = candidate;
                return;
            }
        }
    }
    ~RefusingPort()
    {
        if (fd >= 0) ::close(fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;
    int fd = -1;
    int port = 0;
};

void setAddress(AppState& state, int slot, const std::string& address)
{
    std::lock_guard lock(state.frameLock);
    auto& t = state.cameraTable;
    t.allocate(slot + 1);
    t.address[static_cast<size_t>(slot)] = address;
    t.count = slot + 1;
    state.loadedRows = t.count;
}

bool isOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

}  // namespace

TEST(ProtocolHost, NumericFormsAreAddressesAndNamesAreNot)
{
    const struct {
        const char* host;
        std::optional<uint32_t> address;
    } cases[] = {
        {"127.0.0.1", loopback},
        {"10.0.0", 0x0a000000},      // a.b.c: c fills the last 16 bits
        {"127.1", loopback},         // a.b: b fills the last 24 bits
        {"127.0.1", loopback},
        {"2130706433", loopback},    // one 32-bit number
        {"0x7f.1", loopback},        // hexadecimal parts
        {"0177.0.0.1", loopback},    // octal parts
        {"0x7F000001", loopback},
        {"192.168.1.300", std::nullopt},  // a part too large for its place
        {"1.2.3.4.5", std::nullopt},
        {"08.1.1.1", std::nullopt},       // 8 is no octal digit
        {"localhost", std::nullopt},      // names are never resolved
        {"cam.local", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(protocolHostAddress(c.host), c.address) << '"' << c.host << '"';

    // The last five characters are the port: "10.0.0.5:80" names host
    // "10.0.0" and port 5, and that host is an address, not a name.
    const HostPort split = SplitProtocolAddress("10.0.0.5:80");
    EXPECT_EQ(split, (HostPort{"10.0.0", 5}));
    EXPECT_TRUE(protocolHostAddress(split.host).has_value());
}

TEST(ProtocolConnect, OnlyHostsThatAreNoAddressGiveTheMessage)
{
    CameraSimulator simulator;
    CameraConfig camera;
    camera.kind = CameraKind::Protocol;
    int cameraPort = 0;
    for (int tries = 0; tries < 200 && cameraPort == 0; ++tries) {
        camera.port = nextFourDigitPort();
        cameraPort = simulator.add(camera);
    }
    ASSERT_NE(cameraPort, 0);
    RefusingPort refusing;
    ASSERT_NE(refusing.port, 0);
    const std::string listening = ":" + std::to_string(cameraPort);
    const std::string refused = ":" + std::to_string(refusing.port);

    const struct {
        std::string address;
        int connected;
        bool message;  // "unknown server name"
    } cases[] = {
        {"127.0.0.1" + listening, 1, false},
        {"127.1" + listening, 1, false},
        {"127.0.1" + listening, 1, false},
        {"2130706433" + listening, 1, false},
        {"0x7f.1" + listening, 1, false},
        {"0177.0.0.1" + listening, 1, false},
        {"127.1" + refused, 0, false},     // an address that refuses fails quietly
        {"127.0.0.1:abcd", 0, false},      // no usable port: a failed connect, quietly
        {"localhost" + listening, 0, true},
        {"127.0.0.256" + listening, 0, true},
        {listening, 0, true},              // empty host
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        AppState state;
        RecordingNotifier notifier;
        ProtocolCamera protocol(state, notifier, ProtocolTimeouts{1000, 1000}, nullptr);
        setAddress(state, 0, c.address);
        EXPECT_EQ(protocol.ConnectToCamera(0), c.connected);
        if (c.connected == 1) {
            EXPECT_GE(state.protocolSocket[0].load(), 0);
        } else {
            EXPECT_EQ(state.protocolSocket[0].load(), -1);
        }
        EXPECT_EQ(notifier.texts(), c.message ? std::vector<std::string>{"unknown server name"}
                                              : std::vector<std::string>{});
        protocol.CloseConnection(0);
        EXPECT_EQ(state.protocolSocket[0].load(), -1);
    }
}

TEST(ProtocolClose, EntryIsClearedOnceAndItsNumberNeverClosedTwice)
{
    AppState state;
    RecordingNotifier notifier;
    ProtocolCamera protocol(state, notifier, ProtocolTimeouts{}, nullptr);

    // An ordinary close: descriptor closed, entry cleared, no message.
    const int first = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(first, 0);
    state.protocolSocket[2] = first;
    protocol.CloseConnection(2);
    EXPECT_EQ(state.protocolSocket[2].load(), -1);
    EXPECT_FALSE(isOpen(first));
    EXPECT_TRUE(notifier.texts().empty());

    // A close that fails (the number was closed behind the table's back):
    // the message is shown, and the entry is cleared all the same.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    state.protocolSocket[3] = fd;
    ASSERT_EQ(::close(fd), 0);
    protocol.CloseConnection(3);
    EXPECT_EQ(state.protocolSocket[3].load(), -1);
    EXPECT_EQ(notifier.texts(), std::vector<std::string>{"closesocket failed"});

    // The number now belongs to someone else (here a file); closing the
    // slot again must leave it alone.
    const int other = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    if (other != fd) {
        ASSERT_EQ(::dup2(other, fd), fd);
        ::close(other);
    }
    protocol.CloseConnection(3);
    EXPECT_TRUE(isOpen(fd));
    EXPECT_EQ(notifier.texts().size(), 1u);
    ::close(fd);
}
