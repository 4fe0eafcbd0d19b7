#include "KeyboardFilter.h"

#include <QApplication>
#include <QKeyEvent>

#include "CMonitorDlg.h"
#include "MainButtons.h"

namespace cx {

bool KeyboardFilter::mainWindowActive() const
{
    if (main_ == nullptr || !main_->isVisible()) return false;
    const QWidget* active = QApplication::activeWindow();
    if (active != nullptr) return active == main_;
    // Without a window manager nothing is "active": the main window counts
    // when no other dialog is in front of it.
    const QWidget* modal = QApplication::activeModalWidget();
    return modal == nullptr || modal == main_;
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();

    if (const int button = buttonForFunctionKey(key); button != 0 && mainWindowActive()) {
        // Deferred: the action may open a dialog, which must not run inside
        // the key's dispatch.
        QMetaObject::invokeMethod(main_, [m = main_, button] { if (m) m->runButtonAction(button); }, Qt::QueuedConnection);
        return true;
    }
    if (key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_AltGr) return true;

    const bool closingKey = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape ||
                            key == Qt::Key_Space || key == Qt::Key_F1 || key == Qt::Key_F2;
    if (closingKey && main_ != nullptr) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == main_) return true;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace cx
