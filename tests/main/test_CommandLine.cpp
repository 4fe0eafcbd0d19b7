// The real program's command line: options that answer and end, wrong
// lines, --folder and --user-folder making a new program folder, one copy
// per folder, and priorities for the journal.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "CameraSimulator.h"
#include "Startup.h"
#include "support/ProgramRun.h"
#include "support/TempFolder.h"
#include "support/StreamCamera.h"

using namespace cx;
using namespace cx::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

struct Outcome {
    int code = -1;  // exit code; -1: did not end within 30 s
    std::string out;
    std::string err;
};

// Runs the program in `folder` with `args` and the environment changed by
// `env` (an empty value unsets), standard output and error captured.
Outcome runProgram(const fs::path& folder, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env = {})
{
    const fs::path out = folder / ".." / (folder.filename().string() + "-out.txt");
    const fs::path err = folder / ".." / (folder.filename().string() + "-err.txt");
    fs::remove(out);
    fs::remove(err);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(folder.c_str()) != 0) ::_exit(126);
        ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        for (const auto& [name, value] : env) {
            if (value.empty()) ::unsetenv(name.c_str());
            else ::setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv{const_cast<char*>(CORVANEX_BINARY)};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ChildGuard guard{pid};
    Outcome outcome;
    const int status = waitForExit(pid, 30s);
    if (status != -1) {
        pid = -1;
        outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    outcome.out = readText(out);
    outcome.err = readText(err);
    return outcome;
}

void expectNewProgramFolder(const fs::path& folder)
{
    for (const char* file : {"Interface/default.int", "Interface/ember.int", "Database/Corvanex.mdb"})
        EXPECT_TRUE(fs::is_regular_file(folder / file)) << folder / file;
    EXPECT_EQ(fs::file_size(folder / "Configuration.cvx"), 184u);
}

const std::string noCameraLine = "Corvanex: no camera is configured in Database/Corvanex.mdb\n";

}  // namespace

TEST(CommandLine, OptionsThatAnswerAndWrongLines)
{
    TempFolder folder;
    struct Case {
        std::vector<std::string> args;
        std::map<std::string, std::string> env;
        int code;
        std::string out;  // expected start of standard output
        std::string err;  // expected start of standard error
    };
    const Case cases[] = {
        {{"--version"}, {}, 0, "corvanex 0.1\n", ""},
        {{"--help"}, {}, 0, "Usage: corvanex [--folder DIR | --user-folder] [--no-window] [--debug]\n", ""},
        {{"--no-window", "--help"}, {}, 0, "Usage: corvanex", ""},
        {{"--bogus"}, {}, 2, "", "corvanex: unknown option --bogus\nTry 'corvanex --help'.\n"},
        {{"--folder"}, {}, 2, "", "corvanex: --folder needs a folder\n"},
        {{"--folder="}, {}, 2, "", "corvanex: --folder needs a folder\n"},
        {{"--folder", "a", "--user-folder"}, {}, 2, "", "corvanex: the program folder is given twice\n"},
        {{"--user-folder"}, {{"HOME", ""}, {"XDG_DATA_HOME", ""}}, 2, "",
         "corvanex: --user-folder needs HOME or XDG_DATA_HOME\n"},
    };
    for (const auto& c : cases) {
        const Outcome o = runProgram(folder.path(), c.args, c.env);
        const std::string line = c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : "");
        EXPECT_EQ(o.code, c.code) << line << "\n" << o.err;
        EXPECT_EQ(o.out.substr(0, c.out.size()), c.out) << line;
        if (c.out.empty()) {
            EXPECT_EQ(o.out, "") << line;
        }
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err) << line;
        if (c.err.empty()) {
            EXPECT_EQ(o.err, "") << line;
        }
    }
    // Nothing of the above touched the current folder.
    EXPECT_TRUE(fs::is_empty(folder.path()));
}

TEST(CommandLine, FolderOptionsMakeNewProgramFoldersAndLeaveOthersAsTheyAre)
{
    TempFolder work;
    const fs::path here = work.path() / "here";
    fs::create_directories(here);

    // A folder that does not exist yet, two levels deep.
    const fs::path fresh = work.path() / "new" / "cameras";
    Outcome o = runProgram(here, {"--no-window", "--folder", fresh.string()});
    EXPECT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(o.err, noCameraLine);
    expectNewProgramFolder(fresh);
    EXPECT_TRUE(fs::is_empty(here));

    // An empty folder (as systemd makes a state folder), by --folder=.
    const fs::path empty = work.path() / "empty";
    fs::create_directories(empty);
    o = runProgram(here, {"--no-window", "--folder=" + empty.string()});
    EXPECT_EQ(o.code, 0) << o.err;
    expectNewProgramFolder(empty);

    // The per-user folder, from XDG_DATA_HOME or else HOME.
    o = runProgram(here, {"--no-window", "--user-folder"}, {{"XDG_DATA_HOME", (work.path() / "data").string()}});
    EXPECT_EQ(o.code, 0) << o.err;
    expectNewProgramFolder(work.path() / "data" / "corvanex");
    o = runProgram(here, {"--no-window", "--user-folder"},
                   {{"XDG_DATA_HOME", ""}, {"HOME", (work.path() / "home").string()}});
    EXPECT_EQ(o.code, 0) << o.err;
    expectNewProgramFolder(work.path() / "home" / ".local" / "share" / "corvanex");

    // A folder with something in it is taken as it is: not a program
    // folder, so the missing folders are told and nothing is added.
    const fs::path other = work.path() / "other";
    fs::create_directories(other);
    std::ofstream(other / "notes.txt") << "mine";
    for (const auto& args : {std::vector<std::string>{"--no-window", "--folder", other.string()},
                             std::vector<std::string>{"--no-window"}}) {
        o = runProgram(args.size() == 1 ? other : here, args);
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.err, std::string("Corvanex: ") + foldersMissingText + "\n");
        EXPECT_EQ(std::distance(fs::directory_iterator(other), fs::directory_iterator()), 1);
    }

    // A folder that cannot be made.
    o = runProgram(here, {"--no-window", "--folder", (other / "notes.txt" / "x").string()});
    EXPECT_EQ(o.code, 1);
    EXPECT_EQ(o.err.rfind("corvanex: cannot work in " + (other / "notes.txt" / "x").string() + ": ", 0), 0u) << o.err;
}

TEST(CommandLine, OneCopyPerFolderAndPrioritiesForTheJournal)
{
    TempFolder work;
    sim::CameraSimulator simulator;
    sim::CameraConfig camera = model101Stream(10);
    const int port = simulator.add(camera);
    ASSERT_NE(port, 0);
    const fs::path recorder = work.path() / "recorder";
    ASSERT_EQ(prepareProgramFolder(recorder, {{"Gate", port, 101}}, CX_PROGRAM_FOLDER), "");

    pid_t pid = spawnIn(recorder, {CORVANEX_BINARY, "--no-window"}, work.path() / "recorder-err.txt");
    ChildGuard guard{pid};
    bool recording = false;
    for (int i = 0; i < 1000 && !recording; ++i) {
        std::this_thread::sleep_for(10ms);
        recording = recordingsIn(recorder / "video" / "Gate").size() == 1;
    }
    ASSERT_TRUE(recording) << readText(work.path() / "recorder-err.txt");

    // A second start in the same folder, by either way of naming it, ends
    // at once without a word.
    const fs::path here = work.path() / "here";
    fs::create_directories(here);
    for (const auto& [folder, args] : {std::pair{recorder, std::vector<std::string>{"--no-window"}},
                                      std::pair{here, std::vector<std::string>{"--folder", recorder.string()}}}) {
        const auto t0 = std::chrono::steady_clock::now();
        const Outcome o = runProgram(folder, args);
        EXPECT_EQ(o.code, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_LT(std::chrono::steady_clock::now() - t0, 10s);
    }

    // Another folder runs beside it; with standard error on the journal's
    // stream, lines carry their priority (notice for no camera, warning
    // for the missing folders).
    const fs::path journal = work.path() / "journal.txt";
    std::ofstream(journal).close();
    struct stat st {};
    ASSERT_EQ(::stat(journal.c_str(), &st), 0);
    const std::string stream = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    const fs::path beside = work.path() / "beside";
    Outcome o = runProgram(here, {"--no-window", "--folder", beside.string()}, {{"JOURNAL_STREAM", stream}});
    EXPECT_EQ(o.code, 0);
    EXPECT_EQ(o.err, noCameraLine) << "standard error is not the journal's stream here: no prefix";
    expectNewProgramFolder(beside);

    // The same run with its standard error being that stream.
    const fs::path other = work.path() / "other";
    fs::create_directories(other);
    std::ofstream(other / "notes.txt") << "mine";
    for (const auto& [folder, line] :
         {std::pair{beside, "<5>" + noCameraLine}, std::pair{other, std::string("<4>Corvanex: ") + foldersMissingText + "\n"}}) {
        const pid_t run = ::fork();
        if (run == 0) {
            ::dup2(::open(journal.c_str(), O_WRONLY | O_TRUNC), 2);
            ::setenv("JOURNAL_STREAM", stream.c_str(), 1);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::execl(CORVANEX_BINARY, CORVANEX_BINARY, "--no-window", "--folder", folder.c_str(), nullptr);
            ::_exit(127);
        }
        const int status = waitForExit(run, 30s);
        EXPECT_TRUE(status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(readText(journal), line);
    }

    EXPECT_EQ(waitForExit(pid, 0ms), -1) << "the recorder ended: " << readText(work.path() / "recorder-err.txt");
    ASSERT_NE(stopWithSigterm(pid), -1);
}
