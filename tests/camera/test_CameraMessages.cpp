// Parsing of what cameras send: stream framing, protocol messages, redirects.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>

#include "BodyReader.h"
#include "HttpImageClient.h"
#include "MessagePump.h"
#include "MjpegStreamReader.h"
#include "ProtocolCamera.h"

using namespace cx;

namespace {

// A frame kept past the reader's next call (the reader lends its bytes).
struct KeptFrame {
    StreamFrame::Kind kind;
    std::vector<uint8_t> bytes;
    bool picture;
    bool operator==(const KeptFrame&) const = default;
};

std::vector<KeptFrame> readAllWith(const std::string& body, StreamFraming framing, bool lends)
{
    MemoryBodyReader reader(reinterpret_cast<const uint8_t*>(body.data()), body.size(), lends);
    MjpegStreamReader stream(reader, framing);
    std::vector<KeptFrame> out;
    for (int guard = 0; guard < 100; ++guard) {
        const StreamFrame f = stream.next();
        const bool last = f.kind == StreamFrame::Kind::End || f.kind == StreamFrame::Kind::Failed;
        out.push_back({f.kind, std::vector<uint8_t>(f.bytes.begin(), f.bytes.end()), f.picture});
        if (last) break;
    }
    return out;
}

// Read with pictures lent in place and with pictures copied: the same frames.
std::vector<KeptFrame> readAll(const std::string& body, StreamFraming framing)
{
    const std::vector<KeptFrame> lent = readAllWith(body, framing, true);
    EXPECT_TRUE(lent == readAllWith(body, framing, false));
    return lent;
}

std::string part(const std::string& lengthLine, const std::string& data, int before, int after)
{
    std::string s = "--b\r\n";
    for (int k = 1; k < before; ++k) s += "Line: " + std::to_string(k) + "\r\n";
    s += lengthLine + "\r\n\r\n" + data;
    for (int k = 0; k < after; ++k) s += "\r\n";
    return s;
}

std::string text(const KeptFrame& f) { return std::string(f.bytes.begin(), f.bytes.end()); }
std::string text(const StreamFrame& f) { return std::string(f.bytes.begin(), f.bytes.end()); }

}  // namespace

TEST(MjpegStreamReader, EndlessTextBetweenPicturesFailsTheStream)
{
    const std::string jpeg = "\xFF\xD8picture";
    const std::string good = part("Content-Length: " + std::to_string(jpeg.size()), jpeg, 2, 1);
    std::string flood;
    for (int n = 0; flood.size() < 2 * maxJunkBytes; ++n) flood += "X-Flood: " + std::to_string(n) + "\r\n";
    const struct {
        const char* name;
        std::string body;
    } cases[] = {
        {"header flood", good + flood + good},
        {"a line of megabytes", good + std::string(3 * maxJunkBytes, 'x') + "\r\n" + good},
        {"length lines that announce text", [&] {
             std::string s = good;
             while (s.size() < 3 * maxJunkBytes) s += part("Content-Length: 40", std::string(40, 't'), 2, 1);
             return s + good;
         }()},
    };
    for (const auto& c : cases) {
        MemoryBodyReader reader(reinterpret_cast<const uint8_t*>(c.body.data()), c.body.size());
        MjpegStreamReader stream(reader, streamFraming(101));
        StreamFrame first = stream.next();
        EXPECT_EQ(text(first), jpeg) << c.name;
        StreamFrame f;
        int handed = 0;
        for (int guard = 0; guard < 200000; ++guard) {
            f = stream.next();
            if (f.kind == StreamFrame::Kind::End || f.kind == StreamFrame::Kind::Failed) break;
            ++handed;
        }
        // Broken off before the end of the body, not read to it.
        EXPECT_EQ(f.kind, StreamFrame::Kind::Failed) << c.name;
        EXPECT_EQ(f.result, ReadResult::Error) << c.name;
        EXPECT_LT(handed, 30000) << c.name;
    }
    // The budget is per gap: a long ordinary stream, whose framing lines add
    // up to far more than the limit, is read to its end.
    std::string longRun;
    while (longRun.size() < 3 * maxJunkBytes) longRun += good;
    MemoryBodyReader reader(reinterpret_cast<const uint8_t*>(longRun.data()), longRun.size());
    MjpegStreamReader stream(reader, streamFraming(101));
    size_t pictures = 0;
    StreamFrame f;
    while ((f = stream.next()).kind == StreamFrame::Kind::Frame) ++pictures;
    EXPECT_EQ(f.kind, StreamFrame::Kind::End);
    EXPECT_EQ(pictures, longRun.size() / good.size());
}

TEST(MjpegStreamReader, FramingsPerModel)
{
    const struct {
        CameraType code;
        int before, after;
    } cases[] = {{500, 4, 0}, {1, 2, 2}, {101, 2, 1}};
    for (const auto& c : cases) {
        const std::string body = part("Content-Length: 5", "AB\nCD", c.before, c.after) +
                                 part("Content-Length: 3", "xyz", c.before, c.after);
        const auto frames = readAll(body, streamFraming(c.code));
        ASSERT_EQ(frames.size(), 3u) << c.code;
        EXPECT_EQ(text(frames[0]), "AB\nCD") << c.code;  // a line feed inside the picture is data
        EXPECT_EQ(text(frames[1]), "xyz") << c.code;
        EXPECT_EQ(frames[2].kind, StreamFrame::Kind::End) << c.code;
    }
}

TEST(MjpegStreamReader, UnusableLengthsSkipOneFrame)
{
    const StreamFraming framing{2, 1};
    const char* bad[] = {"Content-Length:5",            // no blank after the colon
                         "Content-Length: 0",           // nothing announced
                         "Content-Length: 999999999",   // above the frame limit
                         "Content-Length: -4",
                         " 5",                          // the blank is the first character
                         "garbage"};
    for (const char* line : bad) {
        // The skipped frame's bytes are still on the wire; the reader finds
        // the next boundary and goes on in step.
        const std::string body = part(line, "HELLO", 2, 1) + part("Content-Length: 4", "next", 2, 1);
        const auto frames = readAll(body, framing);
        ASSERT_EQ(frames.size(), 3u) << line;
        EXPECT_EQ(frames[0].kind, StreamFrame::Kind::Skipped) << line;
        EXPECT_EQ(frames[1].kind, StreamFrame::Kind::Frame) << line;
        EXPECT_EQ(text(frames[1]), "next") << line;
    }
}

TEST(MjpegStreamReader, EndsAndTornFrames)
{
    // A body that ends inside a picture gives no frame.
    auto frames = readAll(part("Content-Length: 10", "short", 2, 0), {2, 1});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, StreamFrame::Kind::End);
    EXPECT_TRUE(frames[0].bytes.empty());
    // An empty body ends at once instead of skipping for ever.
    frames = readAll("", {2, 1});
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].kind, StreamFrame::Kind::End);
    // Garbage without any boundary ends when the body does.
    frames = readAll(std::string(5000, '\n') + "zzz", {2, 1});
    EXPECT_EQ(frames.back().kind, StreamFrame::Kind::End);
}

TEST(MjpegStreamReader, LengthLineValues)
{
    const struct {
        const char* line;
        size_t length;
    } cases[] = {{"Content-Length: 1234", 1234}, {"Content-Length:  77", 77}, {"Content-Length: 12abc", 12},
                 {"Content-Length:12", 0},       {"Content-Length: x", 0},    {"Content-Length: 33554432", 33554432},
                 {"Content-Length: 33554433", 0}, {"", 0}};
    for (const auto& c : cases) EXPECT_EQ(frameLengthFromLine(c.line), c.length) << c.line;
}

TEST(ProtocolMessages, LoginLayout)
{
    const auto m = buildLoginMessage("fifteen-chars-x", "pw");
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->data()), 4), "0300");
    EXPECT_EQ((*m)[4], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->data() + 16), 15), "fifteen-chars-x");
    EXPECT_EQ((*m)[31], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m->data() + 32), 2), "pw");
    for (size_t k = 34; k < 48; ++k) EXPECT_EQ((*m)[k], 0) << k;

    EXPECT_FALSE(buildLoginMessage("sixteen-chars-xx", "pw").has_value());
    EXPECT_FALSE(buildLoginMessage("user", "sixteen-chars-xx").has_value());
}

TEST(ProtocolMessages, CodesAndHeaders)
{
    const auto code = [](const char* four) { return messageCode(reinterpret_cast<const uint8_t*>(four)); };
    EXPECT_EQ(code("0121"), 121);
    EXPECT_EQ(code("0120"), 120);
    EXPECT_EQ(code(" 301"), 301);
    EXPECT_EQ(code("12ab"), 12);
    EXPECT_EQ(code("abcd"), 0);

    const std::string header = std::string(20, 'x') + "0130" + "00012345";
    const ImageHeader h = parseImageHeader(reinterpret_cast<const uint8_t*>(header.data()));
    EXPECT_EQ(h.code, 130);
    EXPECT_EQ(h.size, 12345);
    const std::string other = std::string(20, '\0') + "0131" + "xxxxxxxx";
    const ImageHeader o = parseImageHeader(reinterpret_cast<const uint8_t*>(other.data()));
    EXPECT_EQ(o.code, 131);
    EXPECT_EQ(o.size, 0);
}

TEST(Redirects, LocationAndUrl)
{
    std::string location;
    EXPECT_TRUE(FindLocation("HTTP/1.0 302 Found\r\nLocation: http://10.0.0.9:8080/a/b.jpg\r\n\r\n", location));
    EXPECT_EQ(location, "http://10.0.0.9:8080/a/b.jpg");
    EXPECT_TRUE(FindLocation("HTTP/1.0 302 Found\r\nlocation: http://cam/x\r\n", location));
    EXPECT_EQ(location, "http://cam/x");
    EXPECT_FALSE(FindLocation("HTTP/1.0 302 Found\r\nContent-Length: 0\r\n\r\n", location));

    const struct {
        const char* url;
        bool ok;
        const char* host;
        int port;
        const char* path;
    } cases[] = {
        {"http://10.0.0.9:8080/a/b.jpg", true, "10.0.0.9", 8080, "/a/b.jpg"},
        {"http://cam.local/snap", true, "cam.local", 80, "/snap"},
        {"cam.local:81", true, "cam.local", 81, "/"},
        {"http://user:pw@cam/x", true, "cam", 80, "/x"},
        {"/relative/path", false, "", 0, ""},
        {"http://cam:port/x", false, "", 0, ""},
        {"http://cam:70000/x", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const auto& c : cases) {
        UrlParts parts;
        EXPECT_EQ(SplitUrl(c.url, parts), c.ok) << c.url;
        if (!c.ok) continue;
        EXPECT_EQ(parts.host, c.host) << c.url;
        EXPECT_EQ(parts.port, c.port) << c.url;
        EXPECT_EQ(parts.path, c.path) << c.url;
    }
}

TEST(MessagePump, DispatchesAndPassesQuitOn)
{
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    ClearQuitRequest();
    bool ran = false;
    QTimer::singleShot(0, &app, [&] { ran = true; });
    for (int i = 0; i < 100 && !ran; ++i) EXPECT_EQ(PumpPendingMessages(), 1);
    EXPECT_TRUE(ran);

    // Other threads have nothing to dispatch.
    int fromThread = -1;
    std::thread([&] { fromThread = PumpPendingMessages(); }).join();
    EXPECT_EQ(fromThread, 1);

    RequestQuit();
    EXPECT_EQ(PumpPendingMessages(), 0);
    EXPECT_EQ(PumpPendingMessages(), 0);  // stays requested
    ClearQuitRequest();
}
