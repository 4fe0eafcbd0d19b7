#include "NewProgramFolder.h"

#include <system_error>

#include "CameraDatabase.h"
#include "Settings.h"
#include "SettingsFile.h"

namespace fs = std::filesystem;

namespace cx {

bool folderIsNew(const fs::path& folder)
{
    std::error_code ec;
    if (!fs::exists(folder, ec)) return !ec;
    return fs::is_directory(folder, ec) && fs::is_empty(folder, ec) && !ec;
}

std::string makeProgramFolder(const fs::path& folder, const fs::path& skinFolder)
{
    std::error_code ec;
    if (!fs::is_regular_file(skinFolder / "default.int", ec))
        return "the default skin " + (skinFolder / "default.int").string() + " is missing";
    fs::create_directories(folder / "Interface", ec);
    if (!ec) fs::create_directories(folder / "Database", ec);
    if (ec) return "cannot make " + folder.string() + ": " + ec.message();
    for (const auto& entry : fs::directory_iterator(skinFolder, ec)) {
        if (entry.path().extension() != ".int" || !entry.is_regular_file()) continue;
        fs::copy_file(entry.path(), folder / "Interface" / entry.path().filename(), fs::copy_options::skip_existing, ec);
        if (ec) return "cannot copy " + entry.path().string() + ": " + ec.message();
    }
    if (ec) return "cannot read " + skinFolder.string() + ": " + ec.message();

    if (!saveSettings(Settings{}, folder)) return "cannot write the settings into " + folder.string();
    CameraDatabase database(folder);
    if (!database.createSchema()) return "cannot make the camera database in " + (folder / "Database").string();
    return {};
}

}  // namespace cx
