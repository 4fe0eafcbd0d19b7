#include "OdbcDriver.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace cx {

namespace {

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

std::filesystem::path systemDriverIni()
{
    const char* folder = std::getenv("ODBCSYSINI");
    const char* file = std::getenv("ODBCINSTINI");
    return std::filesystem::path(folder != nullptr && *folder != '\0' ? folder : "/etc") /
           (file != nullptr && *file != '\0' ? file : "odbcinst.ini");
}

// A folder only this user can use: created 0700, or an existing one that
// is a real directory of ours with no access for others (it may be in
// /tmp, where anybody could have made it first).
std::filesystem::path privateFolder(std::string& error)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::filesystem::path folder =
        runtime != nullptr && *runtime == '/' ? std::filesystem::path(runtime) / "corvanex-odbc"
                                              : std::filesystem::path("/tmp") /
                                                    ("corvanex-odbc-" + std::to_string(::getuid()));
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = "cannot create " + folder.string();
        return {};
    }
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 077) != 0) {
        error = folder.string() + " is not a private folder of this user";
        return {};
    }
    return folder;
}

}  // namespace

std::vector<std::filesystem::path> defaultDriverFolders()
{
    std::vector<std::filesystem::path> folders;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib", ec)) {
        const auto odbc = entry.path() / "odbc";
        if (std::filesystem::is_directory(odbc, ec)) folders.push_back(odbc);
    }
    for (const char* folder : {"/usr/lib/odbc", "/usr/lib64", "/usr/local/lib/odbc"})
        if (std::filesystem::is_directory(folder, ec)) folders.emplace_back(folder);
    return folders;
}

bool driverRegistered(const std::string& driver)
{
    std::ifstream in(systemDriverIni());
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        if (text.front() == '[') {
            inSection = text == "[" + driver + "]";
            continue;
        }
        const size_t equals = text.find('=');
        if (inSection && equals != std::string::npos && trimmed(text.substr(0, equals)) == "Driver" &&
            !trimmed(text.substr(equals + 1)).empty())
            return true;
    }
    return false;
}

std::filesystem::path findDriverLibrary(const std::vector<std::filesystem::path>& folders, const std::string& library)
{
    std::error_code ec;
    for (const auto& folder : folders) {
        const auto candidate = folder / library;
        if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
    }
    return {};
}

std::string ensureAccessDriver(const std::vector<std::filesystem::path>& driverFolders)
{
    if (driverRegistered(accessDriverName)) return {};
    const std::filesystem::path library = findDriverLibrary(driverFolders);
    if (library.empty()) return missingDriverText;

    std::string error;
    const std::filesystem::path folder = privateFolder(error);
    if (folder.empty()) return "the SQLite ODBC driver cannot be registered: " + error;

    // Written aside and renamed, so a second copy of the program starting
    // at the same time never reads half a file.
    const std::filesystem::path ini = folder / "odbcinst.ini";
    const std::filesystem::path temporary = folder / ("odbcinst.ini." + std::to_string(::getpid()));
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << "[" << accessDriverName << "]\n"
            << "Description=SQLite3 ODBC driver serving the camera database\n"
            << "Driver=" << library.string() << "\n"
            << "Setup=" << library.string() << "\n";
        if (!out.flush()) error = "cannot write " + temporary.string();
    }
    std::error_code ec;
    if (error.empty()) std::filesystem::rename(temporary, ini, ec);
    if (!error.empty() || ec) {
        std::filesystem::remove(temporary, ec);
        return "the SQLite ODBC driver cannot be registered: " + (error.empty() ? "cannot write " + ini.string() : error);
    }
    ::setenv("ODBCSYSINI", folder.c_str(), 1);
    ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
    return {};
}

}  // namespace cx
