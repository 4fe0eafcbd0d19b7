#include "NoWindowRun.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "DebugLog.h"
#include "Engine.h"
#include "ExitStep.h"
#include "JournalLine.h"
#include "Notifier.h"

namespace cx {

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe calls here; the event loop reads the byte.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Qt's own warnings (a missing runtime folder, font lookups) are traces,
// not news for the operator: they go to the debug channel.
void qtMessageToDebug(QtMsgType, const QMessageLogContext&, const QString& text)
{
    debugOutput((QStringLiteral("Qt: ") + text + QLatin1Char('\n')).toStdString());
}

// SIGINT and SIGTERM end the event loop of `app`.
bool installStopSignals(QCoreApplication& app)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char buffer[16];
        while (::read(signalPipe[0], buffer, sizeof buffer) > 0) {
        }
        app.quit();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0 && ::sigaction(SIGTERM, &action, nullptr) == 0;
}

}  // namespace

int runWithoutWindow(int argc, char** argv)
{
    // No display is needed: pictures are never shown, only fonts and images
    // are made, which the offscreen platform serves.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(qtMessageToDebug);
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName("Corvanex");
    if (!installStopSignals(app)) {
        std::fprintf(stderr, "Corvanex: cannot watch for stop signals\n");
        return 1;
    }

    const std::filesystem::path programFolder = std::filesystem::current_path();
    Engine engine({programFolder});
    QObject::connect(&engine, &Engine::message, [](const QString& text, const QString& caption, int icon) {
        const QString line = (caption.isEmpty() ? QString("Corvanex") : caption) + ": " + text.trimmed();
        std::fprintf(stderr, "%s%s\n", journalPrefix(static_cast<NotifyIcon>(icon)), qPrintable(line));
    });
    QObject::connect(&engine, &Engine::mainWindowEndRequested, &app, &QCoreApplication::quit);
    // Nothing is shown, so no skin is opened (nor needed in the folder).
    StartupHooks hooks;
    // No main window: the engine connects every camera with nobody looking,
    // then the event loop runs until a stop signal or a stop-all ends it.
    const StartupResult result = engine.runStartup(hooks, [&app] { app.exec(); });
    QCoreApplication::processEvents();  // messages raised before the loop ran (a missing driver)
    if (result == StartupResult::NoCameras)
        std::fprintf(stderr, "%sCorvanex: no camera is configured in Database/Corvanex.mdb\n",
                     journalPrefix(NotifyIcon::Question));
    runExitStep(engine);
    return 0;
}

}  // namespace cx
