#include "CStartupDlg.h"

#include <unistd.h>

#include <QGuiApplication>
#include <QScreen>

#include "CPosStatic.h"
#include "FontHeight.h"

namespace cx {

CStartupDlg::CStartupDlg(int cameras, QWidget* owner)
    : SkinDialog(owner, GradientDirection::TopToBottom), cameras_(cameras)
{
    setObjectName(QStringLiteral("startupDialog"));
    setWindowTitle(QStringLiteral("Corvanex"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(false);
    setFixedSize(360, 80);
    label_ = new CPosStatic(LabelRole::StartupText, this);
    label_->setObjectName(QStringLiteral("startupText"));
    label_->setGeometry(20, 20, 320, 40);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(20));
    label_->setFont(f);
    label_->setText(QStringLiteral("Please wait..."));
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());

    timer_.setInterval(100);
    connect(&timer_, &QTimer::timeout, this, &CStartupDlg::advance);
    timer_.start();
}

QString CStartupDlg::text() const
{
    return label_->text();
}

void CStartupDlg::advance()
{
    QString shown = phase_ == 0 ? QStringLiteral("Initializing")
                                : (cameras_ == 1 ? QStringLiteral("Connecting Camera ") : QStringLiteral("Connecting Cameras "));
    shown += QString(tick_, QLatin1Char(' '));
    label_->setText(shown);
    ++tick_;
    if (phase_ == 0 && tick_ == 16) {
        label_->setText(QStringLiteral("Connecting to Network"));
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) == 0 && hostNameReady) hostNameReady(QString::fromLocal8Bit(host));
        phase_ = 1;
        tick_ = 0;
    }
    tick_ %= 16;
    if (phase_ == 1 && tick_ == 15) {
        timer_.stop();
        if (connectCameras) connectCameras();
        // Every camera has been started: the window has done its part.
        close();
        deleteLater();
    }
}

}  // namespace cx
