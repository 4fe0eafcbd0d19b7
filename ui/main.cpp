// corvanex: the program. Runs the start-up sequence in the current folder
// (the program folder) and, once it returns, the exit step.

#include <QApplication>
#include <filesystem>

#include "ActiveSkin.h"
#include "AppState.h"
#include "CameraDatabase.h"
#include "MessageBoxNotifier.h"
#include "ProgramBitmaps.h"
#include "SkinLook.h"
#include "SingleInstance.h"
#include "Startup.h"

int main(int argc, char** argv)
{
    // Taken before anything else, so a second copy ends before any window.
    cx::SingleInstance instance(cx::SingleInstance::defaultLockFolder());
    if (instance.anotherRunning()) return 0;

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
