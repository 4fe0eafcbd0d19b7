// corvanex: the program. Takes the program folder (the current folder, or
// the one --folder names), runs the start-up sequence there and, once it
// returns, the exit step. `corvanex --help` lists the options.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CommandLine.h"
#include "DebugLog.h"
#include "JournalLine.h"
#include "NewProgramFolder.h"
#include "NoWindowRun.h"
#include "ProgramFolder.h"
#include "SingleInstance.h"
#include "WindowRun.h"

#ifndef CX_VERSION
#error "the build gives CX_VERSION"
#endif

namespace fs = std::filesystem;

namespace {

const char* environmentValue(const char* name)
{
    return std::getenv(name);
}

}  // namespace

int main(int argc, char** argv)
{
    cx::CommandLine line = cx::parseCommandLine(argc, argv, environmentValue);
    if (!line.error.empty()) {
        std::fprintf(stderr, "corvanex: %s\nTry 'corvanex --help'.\n", line.error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(cx::usageText().c_str(), stdout);
        return 0;
    }
    if (line.version) {
        std::printf("corvanex %s\n", CX_VERSION);
        return 0;
    }
    if (line.debug) cx::setDebugEnabled(true);

    bool makeFolder = false;
    if (!line.folder.empty()) {
        // A folder named on the command line may be new: made here, filled
        // once the lock is held (two starts at once fill it once).
        makeFolder = cx::folderIsNew(line.folder);
        std::error_code ec;
        fs::create_directories(line.folder, ec);
        if (ec || ::chdir(line.folder.c_str()) != 0) {
            std::fprintf(stderr, "%scorvanex: cannot work in %s: %s\n", cx::journalPrefix(cx::NotifyIcon::Stop),
                         line.folder.c_str(),
                         ec ? ec.message().c_str() : std::strerror(errno));
            return 1;
        }
    }

    // Taken before anything else, so a second copy ends before any window.
    cx::SingleInstance instance(fs::current_path());
    if (instance.anotherRunning()) return 0;
    if (makeFolder && cx::folderIsNew(".")) {
        const std::string error = cx::makeProgramFolder(fs::current_path(), cx::shippedSkinFolder());
        if (!error.empty())
            std::fprintf(stderr, "%scorvanex: %s\n", cx::journalPrefix(cx::NotifyIcon::Stop), error.c_str());
    }

    const int qtArgc = static_cast<int>(line.qtArguments.size()) - 1;
    if (line.noWindow) return cx::runWithoutWindow(qtArgc, line.qtArguments.data());
    return cx::runWithWindow(qtArgc, line.qtArguments.data());
}
