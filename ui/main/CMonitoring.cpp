#include "CMonitoring.h"

#include <QCheckBox>

#include "ButtonPoints.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"
#include "ScrollPanel.h"
#include "SkinLook.h"

namespace cx {

namespace {
constexpr int rowHeight = 48;
constexpr int nameWidth = 128;
}  // namespace

CMonitoring::CMonitoring(Engine& engine, QWidget* parent) : SkinDialog(parent), engine_(engine)
{
    setObjectName(QStringLiteral("monitoring"));
    setWindowTitle(QStringLiteral("Monitoring"));
    setFixedSize(520, 480);

    addDialogTitle(this, QStringLiteral("Monitoring"), QRect(20, 14, 480, 34), QStringLiteral("title"));

    // Frame 1025: where the camera rows scroll.
    const QRect frame(150, 64, 220, 350);
    const auto snapshot = engine_.snapshot();
    const int cameras = snapshot->cameraCount();
    auto* panel = new ScrollPanel(this);
    panel->setObjectName(QStringLiteral("cameraPanel"));
    panel->setGeometry(frame);
    panel->setContentHeight(rowHeight * cameras);

    QFont rowFont(QStringLiteral("DejaVu Sans"));
    rowFont.setPixelSize(fontPixelSize(16));
    for (int i = 0; i < cameras && i < maxCameras; ++i) {
        auto* name = new CPosStatic(LabelRole::Other, panel->content());
        name->setObjectName(QStringLiteral("name%1").arg(i));
        name->setPaintsBackground(false);
        name->setFont(rowFont);
        name->setAlignment(Qt::AlignCenter);
        name->setText(QString::fromStdString(snapshot->cameras[static_cast<size_t>(i)].name));
        name->setGeometry(0, rowHeight * i, nameWidth, rowHeight);
        auto* box = new QCheckBox(panel->content());
        box->setObjectName(QStringLiteral("monitor%1").arg(i));
        box->setGeometry(nameWidth + 4, rowHeight * i + 4, 12, 12);
        box->setChecked(snapshot->settings.monitorEnabled[static_cast<size_t>(i)] == 1);
        boxes_.push_back(box);
    }

    const InterfaceInfo& info = SkinLook::instance().info();
    auto* select = new CSkinButton(this);
    select->setObjectName(QStringLiteral("select"));
    select->setText(QStringLiteral("Select"));
    select->resize(110, 30);
    select->setBitmap("save.bmp");
    select->placeAt(info.buttonPoints.at(ButtonPoint::monitoringSelect).x, info.buttonPoints.at(ButtonPoint::monitoringSelect).y);
    connect(select, &QPushButton::clicked, this, &CMonitoring::select);

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    close->placeAt(info.buttonPoints.at(ButtonPoint::monitoringClose).x, info.buttonPoints.at(ButtonPoint::monitoringClose).y);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void CMonitoring::select()
{
    // The engine saves the settings and starts a camera switched back on.
    for (size_t i = 0; i < boxes_.size(); ++i) engine_.setMonitoring(static_cast<int>(i), boxes_[i]->isChecked());
    accept();
}

}  // namespace cx
