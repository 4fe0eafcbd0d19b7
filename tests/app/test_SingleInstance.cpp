#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "SingleInstance.h"
#include "support/TempFolder.h"

using namespace cx;
using cx::test::TempFolder;

extern char** environ;

namespace {

// Runs the check in a child process: 1 when it found another copy.
int anotherRunningInChild(const std::filesystem::path& programFolder)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        SingleInstance instance(programFolder);
        ::_exit(instance.anotherRunning() ? 1 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(SingleInstance, SecondHolderOfTheSameFolderSeesTheFirstAndOtherFoldersRunBeside)
{
    TempFolder lockFolder;
    TempFolder otherFolder;
    EXPECT_EQ(anotherRunningInChild(lockFolder.path()), 0);
    {
        SingleInstance first(lockFolder.path());
        EXPECT_FALSE(first.anotherRunning());
        EXPECT_EQ(anotherRunningInChild(lockFolder.path()), 1);
        // The same folder by another path is the same folder.
        EXPECT_EQ(anotherRunningInChild(lockFolder.path() / "." ), 1);
        EXPECT_EQ(anotherRunningInChild(otherFolder.path()), 0);
        SingleInstance beside(otherFolder.path());
        EXPECT_FALSE(beside.anotherRunning());
        // Nothing is written into the folder.
        EXPECT_TRUE(std::filesystem::is_empty(lockFolder.path()));
    }
    // Released when the holder goes away.
    EXPECT_EQ(anotherRunningInChild(lockFolder.path()), 0);
    // A folder that does not exist locks nothing and stops nothing.
    EXPECT_EQ(anotherRunningInChild(lockFolder.path() / "missing"), 0);
}

TEST(SingleInstance, KilledHolderReleasesTheLock)
{
    TempFolder lockFolder;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        SingleInstance instance(lockFolder.path());
        char c = instance.anotherRunning() ? 'n' : 'y';
        (void)!::write(ready[1], &c, 1);
        ::pause();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');
    EXPECT_EQ(anotherRunningInChild(lockFolder.path()), 1);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(anotherRunningInChild(lockFolder.path()), 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(SingleInstance, SecondProgramEndsSilently)
{
    TempFolder programFolder;
    SingleInstance first(programFolder.path());
    ASSERT_FALSE(first.anotherRunning());

    std::vector<std::string> envStrings = {"QT_QPA_PLATFORM=offscreen"};
    for (char** e = environ; *e; ++e) {
        const std::string s = *e;
        if (s.rfind("QT_QPA_PLATFORM=", 0) != 0) envStrings.push_back(s);
    }
    std::vector<char*> env;
    for (auto& s : envStrings) env.push_back(s.data());
    env.push_back(nullptr);

    const auto errFile = programFolder.path() / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, programFolder.path().c_str());
    std::string program = CORVANEX_BINARY;
    char* argv[] = {program.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Bounded wait: the second copy must end on its own.
    int status = 0;
    pid_t done = 0;
    for (int i = 0; i < 100 && done == 0; ++i) {
        done = ::waitpid(pid, &status, WNOHANG);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (done == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the second copy did not end";
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream err(errFile);
    const std::string errText{std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>()};
    EXPECT_EQ(errText, "");
    // It touched nothing in the program folder.
    EXPECT_FALSE(std::filesystem::exists(programFolder.path() / "video"));
}
