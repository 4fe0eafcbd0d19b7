#pragma once
// The program's key filter, applied to every key press before it is
// dispatched: function keys run main-window buttons while the main window
// is active, Ctrl and Alt are swallowed everywhere, and Enter, Esc, Space,
// F1 and F2 never reach the main window or its controls (so they cannot
// close it). Dialogs opened from the main window still close on Escape.

#include <QObject>
#include <QPointer>

namespace cx {

class CMonitorDlg;

class KeyboardFilter : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void setMainWindow(CMonitorDlg* window) { main_ = window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool mainWindowActive() const;
    QPointer<CMonitorDlg> main_;
};

}  // namespace cx
