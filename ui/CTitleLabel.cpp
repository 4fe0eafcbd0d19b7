#include "CTitleLabel.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace cx {

namespace {

class AltSwallower final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Alt) return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

int liveTitles = 0;
AltSwallower* swallower = nullptr;

}  // namespace

CTitleLabel::CTitleLabel(QWidget* parent) : CPosStatic(LabelRole::Other, parent)
{
    if (liveTitles++ == 0 && QCoreApplication::instance()) {
        swallower = new AltSwallower;
        QCoreApplication::instance()->installEventFilter(swallower);
    }
}

CTitleLabel::~CTitleLabel()
{
    if (--liveTitles == 0 && swallower) {
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(swallower);
        delete swallower;
        swallower = nullptr;
    }
}

int CTitleLabel::liveCount()
{
    return liveTitles;
}

}  // namespace cx
