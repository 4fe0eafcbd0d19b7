#pragma once
// Which modal dialog a click opens: the class name of the dialog that is
// modal once `click` runs (closed again at once); empty when none opened.

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>

namespace cx::test {

inline QString modalDialogOpenedBy(const std::function<void()>& click)
{
    QString seen;
    QTimer::singleShot(0, [&seen] {
        if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            seen = QString::fromLatin1(d->metaObject()->className());
            d->done(0);
        }
    });
    click();
    QApplication::processEvents();
    return seen;
}

}  // namespace cx::test
