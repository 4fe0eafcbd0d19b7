#include "AboutDialog.h"

#include "ButtonPoints.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "FontHeight.h"
#include "ProgramBitmaps.h"
#include "SkinLook.h"

namespace cx {

AboutDialog::AboutDialog(QWidget* parent) : SkinDialog(parent)
{
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Corvanex"));
    setFixedSize(480, 300);

    auto* logo = new CPosStatic(LabelRole::Other, this);
    logo->setPaintsBackground(false);
    logo->setPixmap(QPixmap::fromImage(programBitmap(143)));
    logo->setGeometry(24, 24, 180, 40);

    addDialogTitle(this, QStringLiteral("Corvanex Video Surveillance"), QRect(24, 84, 432, 34), QStringLiteral("aboutTitle"));

    auto* text = new CPosStatic(LabelRole::Other, this);
    text->setObjectName(QStringLiteral("aboutText"));
    QFont normal(QStringLiteral("DejaVu Sans"));
    normal.setPixelSize(fontPixelSize(16));
    text->setFont(normal);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setText(QStringLiteral("Version %1\n\nLive view, recording and snapshots for up to 16 network cameras.\n"
                                 "F10 opens the tools panel; F11 (\"Website\") shows the guide.")
                      .arg(QStringLiteral(CX_VERSION)));
    text->setGeometry(24, 126, 432, 100);

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setText(QStringLiteral("Close"));
    close->resize(100, 30);
    close->setBitmap("close.bmp");
    const SkinPoint at = SkinLook::instance().info().buttonPoints.at(ButtonPoint::aboutClose);
    close->placeAt(at.x, at.y);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace cx
