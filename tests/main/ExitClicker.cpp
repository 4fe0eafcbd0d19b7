// Linked into a copy of the program for the exit test: once the main
// window is up and its cameras have run for a second, presses its Exit button
// as a user would and says so on standard error, so the test can time the
// end of the process from that moment.
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace {

void startExitClicker()
{
    auto* timer = new QTimer(QCoreApplication::instance());
    auto* settled = new int(0);  // ticks since the start-up window went: the cameras get a second to run
    QObject::connect(timer, &QTimer::timeout, [timer, settled] {
        QWidget* main = nullptr;
        bool starting = false;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible()) continue;
            if (w->objectName() == QLatin1String("mainWindow")) main = w;
            if (w->objectName() == QLatin1String("startupDialog")) starting = true;
        }
        if (main == nullptr || starting) return;
        auto* exit = main->findChild<QAbstractButton*>(QStringLiteral("exit"));
        if (exit == nullptr || !exit->isVisible() || ++*settled < 20) return;
        timer->stop();
        delete settled;
        std::fprintf(stderr, "exit clicked: %s\n", exit->text().toUtf8().constData());
        std::fflush(stderr);
        exit->click();
    });
    timer->start(50);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startExitClicker)
