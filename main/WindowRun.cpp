#include "WindowRun.h"

#include <QApplication>
#include <cstdio>
#include <filesystem>

#include "ActiveSkin.h"
#include "CMonitorDlg.h"
#include "CSelectCameraType.h"
#include "Engine.h"
#include "ExitStep.h"
#include "KeyboardFilter.h"
#include "MessageBoxNotifier.h"
#include "ProgramBitmaps.h"
#include "SkinLook.h"

namespace cx {

int runWithWindow(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvanex");

    const std::filesystem::path programFolder = std::filesystem::current_path();
    Engine engine({programFolder});
    // Messages nobody showed in a main window (start-up's own) wait for the user.
    MessageBoxNotifier notifier;

    // The skin in use; the skinned controls draw from it and from the options.
    ActiveSkin skin;
    SkinLook::instance().attach(&skin, &engine);
    KeyboardFilter keys;
    app.installEventFilter(&keys);

    StartupHooks hooks;
    hooks.openSkinPackage = [&skin](const std::filesystem::path& package) { return skin.open(package); };
    hooks.readStatusText = [&skin](const std::filesystem::path&) { return skin.statusSuffix(); };
    hooks.parseSkinDescription = [&skin, &programFolder] { skin.parseDescription(programFolder); };
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
    hooks.runMainWindow = [&engine, &skin, &keys] {
        CMonitorDlg window(engine, skin);
        keys.setMainWindow(&window);
        window.exec();
        keys.setMainWindow(nullptr);
    };
    const StartupResult result = engine.runStartup(hooks);
    if (result != StartupResult::MainWindowClosed) {
        // Without a main window nobody has shown what the engine raised
        // meanwhile (missing folders, a missing database driver): show it now.
        QObject::connect(&engine, &Engine::message, [&notifier](const QString& text, const QString& caption, int icon) {
            std::fprintf(stderr, "Corvanex: %s\n", qPrintable(text.trimmed()));
            notifier.notify(text.toStdString(), caption.toStdString(), static_cast<NotifyIcon>(icon));
        });
        QCoreApplication::processEvents();
    }
    runExitStep(engine);
    app.removeEventFilter(&keys);
    SkinLook::instance().attach(nullptr, nullptr);
    return 0;
}

}  // namespace cx
