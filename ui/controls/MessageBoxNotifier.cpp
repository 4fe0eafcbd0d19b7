#include "MessageBoxNotifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace cx {

QMessageBox::Icon messageBoxIcon(NotifyIcon icon)
{
    switch (icon) {
    case NotifyIcon::Information: return QMessageBox::Information;
    case NotifyIcon::Exclamation: return QMessageBox::Warning;
    case NotifyIcon::Stop: return QMessageBox::Critical;
    case NotifyIcon::Question: return QMessageBox::Question;
    case NotifyIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

void MessageBoxNotifier::notify(const std::string& text, const std::string& caption, NotifyIcon icon)
{
    auto show = [=] {
        QMessageBox box(messageBoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text), QMessageBox::Ok);
        box.setObjectName("messageBox");
        box.exec();
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return;
    if (QThread::currentThread() == app->thread()) show();
    else QMetaObject::invokeMethod(app, show, Qt::QueuedConnection);  // a worker never waits for the box
}

}  // namespace cx
