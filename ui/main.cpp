// corvanex: the program. Runs the start-up sequence in the current folder
// (the program folder) and, once it returns, the exit step.

#include <QApplication>
#include <filesystem>

#include "AppState.h"
#include "CameraDatabase.h"
#include "MessageBoxNotifier.h"
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

    cx::StartupHooks hooks;
    cx::Startup startup(*state, database, notifier, hooks);
    startup.run(programFolder, instance.anotherRunning());
    startup.exitStep();
    return 0;
}
