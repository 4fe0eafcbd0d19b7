#include "Startup.h"

#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>
#include <vector>

#include "AppState.h"
#include "CameraStore.h"
#include "Notifier.h"
#include "ProgramFolder.h"
#include "SettingsFile.h"

namespace cx {

namespace {
template <class F, class... A>
void callIfSet(const F& f, A&&... args)
{
    if (f) f(std::forward<A>(args)...);
}
}  // namespace

Startup::Startup(AppState& state, CameraStore& store, Notifier& notifier, StartupHooks hooks)
    : state_(state), store_(store), notifier_(notifier), hooks_(std::move(hooks))
{
}

StartupResult Startup::run(const std::filesystem::path& programFolder, bool anotherInstance)
{
    if (anotherInstance) return StartupResult::AnotherInstance;
    state_.programFolder = programFolder;

    const auto interfaceFolder = resolveNoCase(programFolder, "Interface");
    const auto databaseFolder = resolveNoCase(programFolder, "Database");
    // A front end without a skin (the no-window run) needs no skin files.
    const bool needsSkin = static_cast<bool>(hooks_.openSkinPackage);
    if ((needsSkin && !folderHasFileWithExtension(interfaceFolder, ".int")) ||
        !folderHasFileWithExtension(databaseFolder, ".mdb")) {
        notifier_.notify(foldersMissingText, "Corvanex", NotifyIcon::None);
        return StartupResult::FoldersMissing;
    }

    const auto package = interfaceFolder / state_.skinPackageName;
    if (hooks_.openSkinPackage && !hooks_.openSkinPackage(package)) {
        const std::string shown = (std::filesystem::path(interfaceFolder.filename()) / state_.skinPackageName).string();
        std::vector<char> text(std::strlen(skinMissingFormat) + shown.size() + 1);
        std::snprintf(text.data(), text.size(), skinMissingFormat, shown.c_str());
        notifier_.notify(text.data(), "Corvanex", NotifyIcon::Stop);
        return StartupResult::SkinMissing;
    }
    if (hooks_.readStatusText) {
        if (auto text = hooks_.readStatusText(package)) state_.setStatusText(*text);
    }

    for (auto& d : state_.cameraDefaults) d = CameraDefaults{};
    callIfSet(hooks_.loadSchedule);
    callIfSet(hooks_.parseSkinDescription);

    state_.settings.compressOptions.reset();
    loadSettings(state_.settings, programFolder);
    callIfSet(hooks_.loadBitmaps);

    if (store_.countCameras() > 0) {
        // Names and table from the same load, so the folders below and the
        // main window's first reload agree slot by slot.
        LoadedCameras cameras = store_.loadCameras();
        state_.setCameraNames(cameras.names);
        const int rows = cameras.table.count;
        state_.replaceCameraTable(std::move(cameras.table), rows);
    } else {
        callIfSet(hooks_.runFirstCameraDialog);
    }
    if (store_.countCameras() <= 0) return StartupResult::NoCameras;

    createOutputFolders();

    callIfSet(hooks_.startScheduleTick);
    tickStarted_ = static_cast<bool>(hooks_.startScheduleTick);
    callIfSet(hooks_.runMainWindow);
    return StartupResult::MainWindowClosed;
}

void Startup::createOutputFolders()
{
    std::error_code ec;
    const auto video = state_.programFolder / "video";
    std::filesystem::create_directory(video, ec);
    for (int i = 0; i < state_.cameraTable.count && i < maxCameras; ++i) {
        const std::string name = state_.cameraNameOf(i);
        if (!isSafeFileName(name)) continue;
        std::filesystem::create_directory(video / name, ec);
    }
    std::filesystem::create_directory(state_.programFolder / "snapshots", ec);
}

void Startup::exitStep()
{
    if (tickStarted_) callIfSet(hooks_.stopScheduleTick);
    tickStarted_ = false;
    state_.clearCameraTable();
}

}  // namespace cx
