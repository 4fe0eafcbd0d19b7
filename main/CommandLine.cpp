#include "CommandLine.h"

#include <string_view>

namespace cx {

std::filesystem::path userProgramFolder(const char* (*environment)(const char*))
{
    // An XDG variable that is not absolute is to be ignored.
    const char* dataHome = environment("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') return std::filesystem::path(dataHome) / "corvanex";
    const char* home = environment("HOME");
    if (home && home[0] == '/') return std::filesystem::path(home) / ".local/share/corvanex";
    return {};
}

CommandLine parseCommandLine(int argc, char** argv, const char* (*environment)(const char*))
{
    CommandLine line;
    if (argc > 0) line.qtArguments.push_back(argv[0]);
    bool folderGiven = false;
    auto setFolder = [&](std::filesystem::path folder, std::string_view option) {
        if (folderGiven) line.error = "the program folder is given twice";
        else if (folder.empty()) line.error = std::string(option) + " needs a folder";
        folderGiven = true;
        line.folder = std::move(folder);
    };
    for (int i = 1; i < argc && line.error.empty(); ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
        } else if (arg == "--version") {
            line.version = true;
        } else if (arg == "--no-window") {
            line.noWindow = true;
        } else if (arg == "--debug") {
            line.debug = true;
        } else if (arg == "--folder") {
            if (i + 1 >= argc) {
                line.error = "--folder needs a folder";
                break;
            }
            setFolder(argv[++i], arg);
        } else if (arg.starts_with("--folder=")) {
            setFolder(std::string(arg.substr(9)), "--folder");
        } else if (arg == "--user-folder") {
            const auto folder = userProgramFolder(environment);
            if (folder.empty()) line.error = "--user-folder needs HOME or XDG_DATA_HOME";
            else setFolder(folder, arg);
        } else if (arg.starts_with("--")) {
            line.error = "unknown option " + std::string(arg);
        } else {
            line.qtArguments.push_back(argv[i]);
        }
    }
    line.qtArguments.push_back(nullptr);
    return line;
}

std::string usageText()
{
    return "Usage: corvanex [--folder DIR | --user-folder] [--no-window] [--debug]\n"
           "       corvanex --help | --version\n"
           "\n"
           "Shows and records up to 16 network cameras. The program folder holds the\n"
           "skins (Interface/), the camera database (Database/), the settings\n"
           "(Configuration.cvx), the timetable (hours.dat) and the recordings (video/).\n"
           "\n"
           "  --folder DIR    work in DIR instead of the current folder; a DIR that does\n"
           "                  not exist or is empty is made a new program folder (the\n"
           "                  shipped skins, no camera, default settings)\n"
           "  --user-folder   work in the per-user folder $XDG_DATA_HOME/corvanex\n"
           "                  (~/.local/share/corvanex), made as --folder makes one\n"
           "  --no-window     no window: record by the timetable until SIGTERM or SIGINT;\n"
           "                  messages go to standard error (the journal under systemd)\n"
           "  --debug         diagnostic lines (database statements) on standard error\n"
           "  --help          show this text and end\n"
           "  --version       show the version and end\n"
           "\n"
           "One copy runs per program folder: a second start in the same folder ends\n"
           "at once. Qt's own options (-platform NAME, ...) are passed on to Qt.\n";
}

}  // namespace cx
