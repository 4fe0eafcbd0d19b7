// corvanex: the program. Runs the start-up sequence in the current folder
// (the program folder) and, once it returns, the exit step.
//
//   corvanex [--no-window] [--debug]
//     --no-window  no window at all: cameras record by the schedule,
//                  messages go to standard error, SIGTERM ends it
//     --debug      diagnostic lines (database statements) to standard error

#include <QApplication>
#include <cstring>
#include <filesystem>

#include "ActiveSkin.h"
#include "AppState.h"
#include "CameraDatabase.h"
#include "DebugLog.h"
#include "MessageBoxNotifier.h"
#include "NoWindowRun.h"
#include "ProgramBitmaps.h"
#include "SkinLook.h"
#include "SingleInstance.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    bool noWindow = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-window") == 0) noWindow = true;
        if (std::strcmp(argv[i], "--debug") == 0) cx::setDebugEnabled(true);
    }

    // Taken before anything else, so a second copy ends before any window.
    cx::SingleInstance instance(cx::SingleInstance::defaultLockFolder());
    if (instance.anotherRunning()) return 0;
    if (noWindow) return cx::runWithoutWindow(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvanex");

    const std::filesystem::path programFolder = std::filesystem::current_path();
    auto state = std::make_unique<cx::AppState>();
    cx::CameraDatabase database(programFolder);
    cx::MessageBoxNotifier notifier;

    // The skin in use; the skinned controls draw from it and from the settings.
    cx::ActiveSkin skin;
    cx::SkinLook::instance().attach(&skin, &state->settings);

    cx::StartupHooks hooks;
    hooks.openSkinPackage = [&skin](const std::filesystem::path& package) { return skin.open(package); };
    hooks.readStatusText = [&skin](const std::filesystem::path&) { return skin.statusSuffix(); };
    hooks.parseSkinDescription = [&skin, &programFolder] { skin.parseDescription(programFolder); };
    hooks.loadBitmaps = [] {
        auto& look = cx::SkinLook::instance();
        if (look.tile().isNull()) look.setTile(cx::programBitmap(154));
    };
    cx::Startup startup(*state, database, notifier, hooks);
    startup.run(programFolder, instance.anotherRunning());
    startup.exitStep();
    return 0;
}
