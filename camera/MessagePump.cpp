#include "MessagePump.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

namespace cx {

namespace {
std::atomic<int> quitRequested{0};
}

int PumpPendingMessages()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread()) return 1;
    if (quitRequested.load() == 0 && !QCoreApplication::closingDown())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return quitRequested.load() != 0 || QCoreApplication::closingDown() ? 0 : 1;
}

void RequestQuit()
{
    quitRequested = 1;
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

void ClearQuitRequest()
{
    quitRequested = 0;
}

}  // namespace cx
