// Host names looked up on a thread the caller can leave behind: a stop or
// the deadline ends the wait however long the lookup takes.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "HostResolver.h"
#include "support/BlockedLookup.h"

using namespace cx;
using namespace std::chrono_literals;
using cx::test::LookupGate;

namespace {

std::chrono::steady_clock::time_point in(std::chrono::milliseconds d) { return std::chrono::steady_clock::now() + d; }

}  // namespace

// Literal addresses skip the lookup; names take its answer.
TEST(HostResolver, LiteralAddressesSkipTheLookupAndNamesTakeItsAnswer)
{
    const struct {
        const char* host;
        const char* answer;  // the lookup's
        Resolve end;
        const char* address;
        bool looksUp;
    } cases[] = {
        {"192.168.1.64", "10.9.9.9", Resolve::Resolved, "192.168.1.64", false},
        {"2001:db8::7", "10.9.9.9", Resolve::Resolved, "2001:db8::7", false},
        {"gate.example", "10.1.2.3", Resolve::Resolved, "10.1.2.3", true},
        {"gate6.example", "2001:db8::8", Resolve::Resolved, "2001:db8::8", true},
        {"nowhere.example", "", Resolve::NotFound, "", true},
        {"192.168.1", "10.1.2.4", Resolve::Resolved, "10.1.2.4", true},  // not an address as written: the system decides
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        auto asked = std::make_shared<std::atomic<int>>(0);
        HostResolver resolver([asked, answer = std::string(c.answer)](const std::string&) {
            ++*asked;
            return answer;
        });
        const Resolved r = resolver.resolve(c.host, {}, in(10s));
        EXPECT_EQ(r.end, c.end);
        EXPECT_EQ(r.address, c.address);
        EXPECT_EQ(*asked, c.looksUp ? 1 : 0);
    }
}

// A lookup that never answers holds neither a stop nor the deadline; the
// next try for the same host waits for that lookup rather than starting
// another, and takes its answer once it comes.
TEST(HostResolver, AStopOrTheDeadlineEndsTheWaitForALookupThatNeverAnswers)
{
    LookupGate gate;
    HostResolver resolver(gate.lookup("10.0.0.8"));

    std::atomic<bool> stop{false};
    auto stopped = std::async(std::launch::async, [&] { return resolver.resolve("cam.example", [&] { return stop.load(); }, in(60s)); });
    std::this_thread::sleep_for(200ms);
    stop = true;
    ASSERT_EQ(stopped.wait_for(2s), std::future_status::ready) << "a stop ends the wait within 2 s";
    EXPECT_EQ(stopped.get().end, Resolve::Stopped);

    auto late = std::async(std::launch::async, [&] { return resolver.resolve("cam.example", {}, in(300ms)); });
    ASSERT_EQ(late.wait_for(2s), std::future_status::ready) << "the deadline ends the wait";
    EXPECT_EQ(late.get().end, Resolve::TimedOut);
    EXPECT_EQ(gate.calls(), 1) << "one lookup of a name at a time";

    gate.release();
    const Resolved answered = resolver.resolve("cam.example", {}, in(10s));
    EXPECT_EQ(answered.end, Resolve::Resolved);
    EXPECT_EQ(answered.address, "10.0.0.8");
    EXPECT_EQ(gate.calls(), 1);
}

// The system's resolver finds the loopback by its name, as an IPv4 address.
TEST(HostResolver, TheSystemLookupFindsLocalhost)
{
    EXPECT_EQ(HostResolver::systemLookup("localhost"), "127.0.0.1");
    HostResolver resolver;
    const Resolved r = resolver.resolve("localhost", {}, in(10s));
    EXPECT_EQ(r.end, Resolve::Resolved);
    EXPECT_EQ(r.address, "127.0.0.1");
}
