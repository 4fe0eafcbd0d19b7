#include "WindowRun.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "ActiveSkin.h"
#include "CMonitorDlg.h"
#include "CSelectCameraType.h"
#include "CameraDatabase.h"
#include "Engine.h"
#include "KeyboardFilter.h"
#include "MessageBoxNotifier.h"
#include "ProgramBitmaps.h"
#include "SkinLook.h"
#include "Startup.h"

namespace cx {

int runWithWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvanex");

    const std::filesystem::path programFolder = std::filesystem::current_path();
    Engine engine({programFolder});
    // Start-up's own messages come before any window and may wait for the user.
    MessageBoxNotifier notifier;

    // The skin in use; the skinned controls draw from it and from the settings.
    ActiveSkin skin;
    SkinLook::instance().attach(&skin, &engine.state().settings);
    KeyboardFilter keys;
    app.installEventFilter(&keys);

    StartupHooks hooks;
    hooks.openSkinPackage = [&skin](const std::filesystem::path& package) { return skin.open(package); };
    hooks.readStatusText = [&skin](const std::filesystem::path&) { return skin.statusSuffix(); };
    hooks.parseSkinDescription = [&skin, &programFolder] { skin.parseDescription(programFolder); };
    hooks.loadSchedule = [&engine] { engine.loadSchedule(); };
    hooks.loadBitmaps = [] {
        auto& look = SkinLook::instance();
        if (look.tile().isNull()) look.setTile(programBitmap(154));
    };
    // An empty camera table: the model chooser comes before the main
    // window; closing it without adding a camera ends start-up quietly.
    hooks.runFirstCameraDialog = [&engine] {
        CSelectCameraType chooser(engine, nullptr);
        chooser.exec();
    };
    hooks.startScheduleTick = [&engine] { engine.startScheduleTick(); };
    hooks.stopScheduleTick = [&engine] { engine.stopScheduleTick(); };
    hooks.runMainWindow = [&engine, &skin, &keys] {
        CMonitorDlg window(engine, skin);
        keys.setMainWindow(&window);
        window.exec();
        keys.setMainWindow(nullptr);
    };
    Startup startup(engine.state(), engine.database(), notifier, hooks);
    const StartupResult result = startup.run(programFolder, false);
    if (result != StartupResult::MainWindowClosed) {
        // Without a main window nobody has shown what the engine raised
        // meanwhile (a missing database driver): show it now.
        QObject::connect(&engine, &Engine::message, [&notifier](const QString& text, const QString& caption, int icon) {
            std::fprintf(stderr, "Corvanex: %s\n", qPrintable(text.trimmed()));
            notifier.notify(text.toStdString(), caption.toStdString(), static_cast<NotifyIcon>(icon));
        });
        QCoreApplication::processEvents();
    }
    // The exit step: every worker ends and every recording is closed.
    if (!engine.shutdown()) {
        // A camera or disk that does not let go is not waited for: its file
        // stays as a crash would leave it, readable up to its last frame.
        std::fprintf(stderr, "Corvanex: a camera did not stop in time; ending without it\n");
        std::fflush(nullptr);
        std::_Exit(0);
    }
    startup.exitStep();
    app.removeEventFilter(&keys);
    SkinLook::instance().attach(nullptr, nullptr);
    return 0;
}

}  // namespace cx
