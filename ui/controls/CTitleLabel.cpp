#include "CTitleLabel.h"

#include <QCoreApplication>
#include <QFont>
#include <QKeyEvent>

#include "FontHeight.h"

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

CTitleLabel* addDialogTitle(QWidget* parent, const QString& text, QRect geometry, const QString& objectName)
{
    auto* title = new CTitleLabel(parent);
    if (!objectName.isEmpty()) title->setObjectName(objectName);
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(fontPixelSize(22));
    big.setBold(true);
    title->setFont(big);
    title->setText(text);
    title->setGeometry(geometry);
    return title;
}

}  // namespace cx
