// The interface updater against a small HTTP server on 127.0.0.1: the list
// fetched twice, missing packages fetched in list order, hostile names and
// broken downloads leaving nothing behind, and the chooser refreshed. Against
// a stalled server: the window keeps answering, a run cannot be started
// twice, and closing the dialog in any way ends the transfer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "CInterface.h"
#include "CSkinButton.h"
#include "FileDownload.h"
#include "InterfaceList.h"
#include "InterfaceUpdateDlg.h"
#include "SkinDownloadJob.h"
#include "UpdateServer.h"
#include "support/SilentServer.h"
#include "support/TempFolder.h"
#include "support/WindowFolder.h"

using namespace cx;
using namespace cx::test;
namespace fs = std::filesystem;

namespace {

// Serves fixed bodies by path (HTTP/1.0, one request per connection),
// 404 for anything else; remembers the paths asked for, in order.
class TinyServer {
public:
    using Files = std::map<std::string, std::string>;
    explicit TinyServer(Files files) : files_(std::move(files))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listener_, 8);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~TinyServer()
    {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/skins/"; }
    std::vector<std::string> requests()
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

private:
    void serve()
    {
        while (!stop_) {
            const int c = ::accept(listener_, nullptr, nullptr);
            if (c < 0) return;
            std::string head;
            char buf[1024];
            while (head.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0) break;
                head.append(buf, static_cast<size_t>(n));
            }
            const size_t sp = head.find(' '), sp2 = head.find(' ', sp + 1);
            const std::string path = sp == std::string::npos ? "" : head.substr(sp + 1, sp2 - sp - 1);
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(path);
            }
            const auto it = files_.find(path);
            std::string reply = it == files_.end()
                                    ? std::string("HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\n\r\n")
                                    : "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(it->second.size()) +
                                          "\r\n\r\n" + it->second;
            ::send(c, reply.data(), reply.size(), MSG_NOSIGNAL);
            ::close(c);
        }
    }

    std::map<std::string, std::string> files_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

std::string fileText(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class InterfaceUpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(makeWindowFolder(folder.path(), {}));
        ASSERT_TRUE(skin.open(folder.path()));
        package = fileText(fs::path(CX_SKIN_DIR) / "ember.int");
        ASSERT_FALSE(package.empty());
    }
    void useServer(const std::string& base) { std::ofstream(folder.path() / updateServerFileName) << base << "\n"; }
    void useServer(const TinyServer& server) { useServer(server.base()); }
    // Runs "Get Updates..." to its end, as the dialog's event loop would.
    static void runUpdates(InterfaceUpdateDlg& updater)
    {
        updater.findChild<CSkinButton*>("getUpdates")->click();
        ASSERT_TRUE(updater.downloading());
        ASSERT_TRUE(waitFor([&] { return !updater.downloading(); }, 20000));
    }
    // Names beginning with "." in `dir`: the downloads' temporary files.
    static std::vector<std::string> temporaries(const fs::path& dir)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            if (e.path().filename().string().front() == '.') names.push_back(e.path().filename().string());
        return names;
    }
    std::vector<std::string> interfaceFiles()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder.path() / "Interface")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempFolder folder;
    AttachedSkin skin;
    std::string package;
};

TEST(UpdateServer, BaseFromTheProgramFolderFile)
{
    TempFolder folder;
    EXPECT_EQ(updateServerBase(folder.path()), defaultUpdateServer);
    struct Case {
        const char* line;
        const char* base;
    };
    for (const Case& c : {Case{"http://h/skins/\n", "http://h/skins/"}, Case{"  http://h/skins\r\n", "http://h/skins/"},
                          Case{"\n", defaultUpdateServer}}) {
        std::ofstream(folder.path() / updateServerFileName) << c.line;
        EXPECT_EQ(updateServerBase(folder.path()), c.base) << c.line;
    }
}

TEST_F(InterfaceUpdaterTest, EverythingPresentAfterTwoListDownloads)
{
    TinyServer server(TinyServer::Files{{"/skins/Interfaces.txt", "default.int\nember.int\n"}});
    useServer(server);
    InterfaceUpdateDlg updater(folder.path());
    bool refreshed = false;
    updater.refreshChooser = [&refreshed] { refreshed = true; };
    runUpdates(updater);
    EXPECT_EQ(updater.statusText(), "No New Interface on Server");
    EXPECT_EQ(updater.result(), 1);
    EXPECT_EQ(updater.stepCounter(), 2);
    EXPECT_EQ(server.requests(), (std::vector<std::string>{"/skins/Interfaces.txt", "/skins/Interfaces.txt"}));
    EXPECT_FALSE(refreshed);
}

TEST_F(InterfaceUpdaterTest, MissingPackagesInListOrderHostileAndBrokenLeaveNothing)
{
    // After the empty line nothing counts; "../evil.int" is never asked for;
    // "broken.int" arrives as no package; "gone.int" is not on the server.
    TinyServer server(TinyServer::Files{{"/skins/Interfaces.txt",
                        "zeta.int\ndefault.int\n../evil.int\nbroken.int\ngone.int\nalpha.int\n\nlater.int\n"},
                       {"/skins/zeta.int", package},
                       {"/skins/alpha.int", package},
                       {"/skins/later.int", package},
                       {"/skins/broken.int", "<html>not a package</html>"}});
    useServer(server);
    CInterface chooser(skin.skin, folder.path());
    const size_t before = chooser.listed().size();

    InterfaceUpdateDlg updater(folder.path(), &chooser);
    updater.refreshChooser = [&chooser] { chooser.refreshList(); };
    runUpdates(updater);

    EXPECT_EQ(updater.pending(), (std::vector<std::string>{"zeta.int", "broken.int", "gone.int", "alpha.int"}));
    EXPECT_EQ(server.requests(),
              (std::vector<std::string>{"/skins/Interfaces.txt", "/skins/Interfaces.txt", "/skins/zeta.int",
                                        "/skins/broken.int", "/skins/gone.int", "/skins/alpha.int"}));
    EXPECT_EQ(updater.stepCounter(), 2 + 2 * 4);
    EXPECT_EQ(updater.result(), 1);
    EXPECT_EQ(interfaceFiles(), (std::vector<std::string>{"alpha.int", "default.int", "ember.int", "foreign.int",
                                                          "zeta.int"}));
    EXPECT_EQ(fileText(folder.path() / "Interface" / "zeta.int"), package);
    EXPECT_FALSE(fs::exists(folder.path() / "evil.int"));  // nor any temporary: the listing above is complete
    // The chooser lists the two new packages of its format.
    EXPECT_EQ(chooser.listed().size(), before + 2);
}

TEST_F(InterfaceUpdaterTest, FailedListKeepsTheOlderOne)
{
    std::ofstream(folder.path() / "Interfaces.txt") << "default.int\n";
    TinyServer server(TinyServer::Files{});
    useServer(server);
    InterfaceUpdateDlg updater(folder.path());
    runUpdates(updater);
    EXPECT_EQ(fileText(folder.path() / "Interfaces.txt"), "default.int\n");
    EXPECT_EQ(updater.statusText(), "No New Interface on Server");
    // No temporary file is left beside it.
    for (const auto& e : fs::directory_iterator(folder.path()))
        EXPECT_NE(e.path().filename().string().rfind(".Interfaces.txt", 0), 0u) << e.path();
}

// The first list download meets a server that never answers.
class StalledUpdaterTest : public InterfaceUpdaterTest {
protected:
    void SetUp() override
    {
        InterfaceUpdaterTest::SetUp();
        ASSERT_GT(server.port(), 0);
        useServer("http://127.0.0.1:" + std::to_string(server.port()) + "/skins/");
    }
    std::vector<std::string> listTemporaries()
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder.path()))
            if (e.path().filename().string().rfind(".Interfaces.txt", 0) == 0) names.push_back(e.path().filename().string());
        return names;
    }
    SilentServer server;
};

TEST_F(StalledUpdaterTest, WindowKeepsAnsweringAndASecondRunIsNotStarted)
{
    InterfaceUpdateDlg updater(folder.path());
    int ticksWhileDownloading = 0;
    QTimer ticker;
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (updater.downloading()) ++ticksWhileDownloading;
    });
    ticker.start();

    auto* get = updater.findChild<CSkinButton*>("getUpdates");
    get->click();
    ASSERT_TRUE(updater.downloading());  // the click came back with the transfer under way
    ASSERT_TRUE(waitFor([&] { return server.accepted() == 1; }, 5000));
    EXPECT_EQ(updater.statusText(), "Downloading New Interfaces...");
    EXPECT_FALSE(get->isEnabled());

    // Neither the button, nor the dialog, nor the job starts a second run.
    get->click();
    updater.getUpdates();
    EXPECT_FALSE(updater.job().start());
    ASSERT_TRUE(waitFor([&] { return ticksWhileDownloading >= 50; }, 10000));
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_TRUE(updater.downloading());
    EXPECT_EQ(updater.stepCounter(), 0);  // still on the first list download
    EXPECT_TRUE(updater.pending().empty());
}

TEST_F(StalledUpdaterTest, ClosingInAnyWayEndsTheRun)
{
    using Dialog = std::unique_ptr<InterfaceUpdateDlg>;
    struct Case {
        const char* how;
        std::function<void(Dialog&)> end;
        int result;  // the dialog's result afterwards
    };
    const Case cases[] = {
        {"Close button", [](Dialog& d) { d->findChild<CSkinButton*>("close")->click(); }, 2},
        {"Escape", [](Dialog& d) { d->reject(); }, QDialog::Rejected},
        {"window closed", [](Dialog& d) { d->close(); }, QDialog::Rejected},
        {"dialog destroyed", [](Dialog& d) { d.reset(); }, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const int connections = server.accepted();
        auto updater = std::make_unique<InterfaceUpdateDlg>(folder.path());
        updater->show();
        updater->getUpdates();
        ASSERT_TRUE(waitFor([&] { return server.accepted() == connections + 1; }, 5000));

        const auto t0 = std::chrono::steady_clock::now();
        c.end(updater);
        if (updater) {
            EXPECT_FALSE(updater->isVisible());
            EXPECT_TRUE(waitFor([&] { return !updater->downloading(); }, 2000));
            EXPECT_FALSE(updater->job().running());
            EXPECT_EQ(updater->result(), c.result);
            updater.reset();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
        // The run is over: the second list download never started, and the
        // cancelled one left neither the list nor its temporary file.
        EXPECT_EQ(server.accepted(), connections + 1);
        EXPECT_FALSE(fs::exists(folder.path() / interfaceListName));
        EXPECT_EQ(listTemporaries(), std::vector<std::string>{});
    }
}

TEST(FileDownload, StalledServerEndsTheTransferByItself)
{
    TempFolder folder;
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    DownloadTimeouts timeouts;
    timeouts.lowSpeedSeconds = 1;
    std::atomic<int> reports{0};
    DownloadHooks hooks;
    hooks.progress = [&reports] { ++reports; };
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(downloadFile("http://127.0.0.1:" + std::to_string(server.port()) + "/list.txt",
                              folder.path() / "list.txt", hooks, timeouts));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_GE(reports.load(), 1);
    EXPECT_TRUE(fs::is_empty(folder.path()));  // no target, no temporary
}

}  // namespace
