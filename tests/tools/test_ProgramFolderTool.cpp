// The program-folder tool as a service's administrator runs it: RTSP
// cameras from its command line, stored as the camera dialogs store them,
// and refused with a reason before anything is made when they cannot be.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CameraDatabase.h"
#include "CameraFieldLimits.h"
#include "RtspSettingsCheck.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::TempFolder;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int code = -1;  // exit code; -1 when it did not end normally
    std::string err;
};

// Runs the tool with `args` after its own name, standard error captured.
ToolRun runTool(const std::vector<std::string>& args, const fs::path& errFile)
{
    std::vector<std::string> argv{CX_PROGRAM_FOLDER};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int devnull = ::open("/dev/null", O_RDWR);
        ::dup2(devnull, 0);
        ::dup2(devnull, 1);
        ::dup2(err, 2);
        std::vector<char*> raw;
        for (auto& a : argv) raw.push_back(a.data());
        raw.push_back(nullptr);
        ::execv(raw[0], raw.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    std::ifstream in(errFile);
    ToolRun run;
    run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (WIFEXITED(status)) run.code = WEXITSTATUS(status);
    return run;
}

class ProgramFolderTool : public ::testing::Test {
protected:
    ToolRun run(std::vector<std::string> args)
    {
        args.insert(args.begin(), dir.string());
        return runTool(args, work.path() / "err.txt");
    }
    TempFolder work;
    fs::path dir = work.path() / "program";
};

}  // namespace

TEST_F(ProgramFolderTool, AddsRtspCamerasWithEveryValueAsGiven)
{
    const ToolRun r = run({"--rtsp-camera", "Gate, west", "192.168.1.30", "554", "/Streaming/Channels/101",
                       "--sub-path", "/Streaming/Channels/102", "--login", "ad,min", "--password", "",
                       "--camera", "Door", "10.0.0.5", "80", "101",
                       "--rtsp-camera", "Yard", "cam.local", "10554", "/live?a=1,b=2&c='3'", "--udp",
                       "--password", "-p w'", "--login", "--x--"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");

    CameraDatabase db(dir);
    const LoadedCameras loaded = db.loadCameras();
    ASSERT_EQ(loaded.names, (std::vector<std::string>{"Gate, west", "Door", "Yard"}));
    const CameraTable& t = loaded.table;
    EXPECT_EQ(t.type, (std::vector<int32_t>{2000, 101, 2000}));
    EXPECT_EQ(t.address, (std::vector<std::string>{"192.168.1.30:554", "10.0.0.5:80", "cam.local:10554"}));
    EXPECT_EQ(t.login, (std::vector<std::string>{"ad,min", "", "--x--"}));
    EXPECT_EQ(t.password, (std::vector<std::string>{"", "", "-p w'"}));
    EXPECT_EQ(t.rtsp, (std::vector<std::optional<RtspSettings>>{
                          RtspSettings{"/Streaming/Channels/101", "/Streaming/Channels/102", false}, std::nullopt,
                          RtspSettings{"/live?a=1,b=2&c='3'", "", true}}));

    // Values at their limits are stored whole.
    const std::string name(cameraNameLimit, '\''), host(cameraHostLimit, 'h'), login(cameraLoginLimit, '\''),
        password(cameraPasswordLimit, '\''), path = "/" + std::string(streamPathLimit - 1, '\'');
    const ToolRun full = run({"--rtsp-camera", name, host, "65535", path, "--sub-path", path, "--login", login,
                              "--password", password});
    ASSERT_EQ(full.code, 0) << full.err;
    {
        CameraDatabase withFull(dir);
        const LoadedCameras l = withFull.loadCameras();
        ASSERT_EQ(l.table.count, 4);
        EXPECT_EQ(l.names[3], name);
        EXPECT_EQ(l.table.address[3], host + ":65535");
        EXPECT_EQ(l.table.login[3], login);
        EXPECT_EQ(l.table.password[3], password);
        EXPECT_EQ(l.table.rtsp[3], (RtspSettings{path, path, false}));
    }

    // A camera whose name is taken is left as it is, as for --camera.
    const ToolRun again = run({"--rtsp-camera", "Yard", "10.0.0.9", "554", "/other"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(again.err, "cx-program-folder: a camera named \"Yard\" is already there and is left as it is\n");
    CameraDatabase reread(dir);
    const LoadedCameras after = reread.loadCameras();
    EXPECT_EQ(after.table.count, 4);
    EXPECT_EQ(after.table.rtsp[2], (RtspSettings{"/live?a=1,b=2&c='3'", "", true}));
}

TEST_F(ProgramFolderTool, RefusesWhatCannotBeAnRtspCameraBeforeMakingAnything)
{
    const std::vector<std::string> good{"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main"};
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string err;  // what standard error says, from its start
    } cases[] = {
        {"main path without slash", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "Streaming/101"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspMainPathSlashText + "\n"},
        {"empty main path", {"--rtsp-camera", "Gate", "10.0.0.7", "554", ""},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspMainPathMissingText + "\n"},
        {"sub path without slash", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--sub-path", "sub"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspSubPathSlashText + "\n"},
        {"space in the path", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/ma in"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspMainPathCharactersText + "\n"},
        {"colon in the login", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--login", "ad:min"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspLoginColonText + "\n"},
        {"login of a colon alone", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--login", ":"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + rtspLoginColonText + "\n"},
        {"login one over its limit", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--login",
                                      std::string(cameraLoginLimit + 1, 'l')},
         "cx-program-folder: RTSP camera \"Gate\": " + tooLongText("login", cameraLoginLimit) + "\n"},
        {"password one over its limit", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--password",
                                         std::string(cameraPasswordLimit + 1, 'p')},
         "cx-program-folder: RTSP camera \"Gate\": " + tooLongText("password", cameraPasswordLimit) + "\n"},
        {"sub path one over its limit", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--sub-path",
                                         "/" + std::string(streamPathLimit, 's')},
         "cx-program-folder: RTSP camera \"Gate\": " + tooLongText("sub stream path", streamPathLimit) + "\n"},
        {"host of another model one over its limit", {"--camera", "Door", std::string(cameraHostLimit + 1, 'h'),
                                                      "80", "101"},
         "cx-program-folder: camera \"Door\": " + tooLongText("host", cameraHostLimit) + "\n"},
        {"name one over its limit", {"--camera", std::string(cameraNameLimit + 1, 'n'), "10.0.0.5", "80", "101"},
         "cx-program-folder: camera \"" + std::string(cameraNameLimit + 1, 'n') + "\": " +
             tooLongText("camera name", cameraNameLimit) + "\n"},
        {"port 0", {"--rtsp-camera", "Gate", "10.0.0.7", "0", "/main"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + portNumberText + "\n"},
        {"port too big", {"--rtsp-camera", "Gate", "10.0.0.7", "65536", "/main"},
         std::string("cx-program-folder: RTSP camera \"Gate\": ") + portNumberText + "\n"},
        {"empty host", {"--rtsp-camera", "Gate", "", "554", "/main"},
         "cx-program-folder: RTSP camera \"Gate\": the host is empty\n"},
        {"name of no folder", {"--rtsp-camera", "a/b", "10.0.0.7", "554", "/main"},
         "cx-program-folder: RTSP camera \"a/b\": the name cannot be a folder name\n"},
        {"second camera bad", {"--rtsp-camera", "A", "10.0.0.7", "554", "/main", "--rtsp-camera", "B", "h", "554", "x"},
         std::string("cx-program-folder: RTSP camera \"B\": ") + rtspMainPathSlashText + "\n"},
        {"login before any RTSP camera", {"--login", "x", "--rtsp-camera", "Gate", "10.0.0.7", "554", "/main"},
         "cx-program-folder: --login belongs to an --rtsp-camera before it\n"},
        {"udp after a camera of another model", {"--camera", "Door", "10.0.0.5", "80", "101", "--udp"},
         "cx-program-folder: --udp belongs to an --rtsp-camera before it\n"},
        {"RTSP by --camera", {"--camera", "Gate", "10.0.0.7", "554", "2000"},
         "cx-program-folder: camera \"Gate\": an RTSP camera is added with --rtsp-camera\n"},
        {"too few values", {"--rtsp-camera", "Gate", "10.0.0.7", "554"}, "usage: cx-program-folder DIR"},
        {"option without its value", {"--rtsp-camera", "Gate", "10.0.0.7", "554", "/main", "--sub-path"},
         "usage: cx-program-folder DIR"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ToolRun r = run(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err) << r.err;
        EXPECT_FALSE(fs::exists(dir));
    }
    // The same with good values makes the folder.
    const ToolRun r = run(good);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "Database" / "Corvanex.mdb"));
}
