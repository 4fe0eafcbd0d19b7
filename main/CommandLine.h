#pragma once
// What the command line asks of corvanex. Options of our own start with
// "--"; anything else (Qt's own, such as -platform NAME) is left to Qt.

#include <filesystem>
#include <string>
#include <vector>

namespace cx {

struct CommandLine {
    bool help = false;
    bool version = false;
    bool noWindow = false;
    bool debug = false;
    // The program folder to work in; empty: the current folder.
    std::filesystem::path folder;
    // Set when the line cannot be followed; says why.
    std::string error;
    // The arguments for Qt: the program name and what is not ours.
    std::vector<char*> qtArguments;
};

// `environment` looks up a variable (XDG_DATA_HOME, HOME for --user-folder).
CommandLine parseCommandLine(int argc, char** argv, const char* (*environment)(const char*));

// $XDG_DATA_HOME/corvanex, else $HOME/.local/share/corvanex; empty when
// neither variable is set.
std::filesystem::path userProgramFolder(const char* (*environment)(const char*));

// The text --help prints.
std::string usageText();

}  // namespace cx
