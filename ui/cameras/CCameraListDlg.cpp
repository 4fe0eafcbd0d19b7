#include "CCameraListDlg.h"

#include <QListWidget>

#include "ButtonPoints.h"
#include "CCameraPropertiesDlg.h"
#include "MainWindowHost.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"
#include "SkinLook.h"

namespace cx {

CCameraListDlg::CCameraListDlg(Engine& engine, MainWindowHost* main, QWidget* parent)
    : SkinDialog(parent), engine_(engine), main_(main)
{
    setObjectName(QStringLiteral("cameraListDialog"));
    setWindowTitle(QStringLiteral("Cameras"));
    setFixedSize(580, 380);

    addDialogTitle(this, QStringLiteral("Cameras"), QRect(20, 10, 540, 34), QString());

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("cameraList"));  // 1003
    QFont rows(QStringLiteral("DejaVu Sans"));
    rows.setPixelSize(fontPixelSize(15));
    list_->setFont(rows);
    list_->setGeometry(20, 52, 540, 262);

    struct Entry {
        const char* objectName;
        const char* text;
        const char* bitmap;
        void (CCameraListDlg::*action)();
    };
    const Entry entries[] = {
        {"removeCamera", "Remove", "Remove Camera.bmp", &CCameraListDlg::removeSelected},  // 1030
        {"adjustLayout", "Adjust Layout", "adjust.bmp", nullptr},                           // 1110
        {"properties", "Properties", "properties.bmp", &CCameraListDlg::openProperties},    // 1146
        {"close", "Close", "close.bmp", nullptr},                                           // 1113
    };
    const auto& points = SkinLook::instance().info().buttonPoints;
    int k = 0;
    for (const Entry& e : entries) {
        auto* b = new CSkinButton(this);
        b->setObjectName(QString::fromLatin1(e.objectName));
        b->setText(QString::fromLatin1(e.text));
        b->resize(120, 30);
        b->setBitmap(e.bitmap);
        const SkinPoint at = points.at(ButtonPoint::cameraListFirst + k++);
        b->placeAt(at.x, at.y);
        if (e.action != nullptr) connect(b, &QPushButton::clicked, this, e.action);
    }
    connect(findChild<CSkinButton*>(QStringLiteral("adjustLayout")), &QPushButton::clicked, this, [this] {
        if (main_ != nullptr) main_->equalLayout();
    });
    connect(findChild<CSkinButton*>(QStringLiteral("close")), &QPushButton::clicked, this, [this] { done(2); });
    fill();
}

void CCameraListDlg::fill()
{
    list_->clear();
    // Slot order: a row's position is the slot its properties edit.
    const auto snapshot = engine_.snapshot();
    for (const CameraStatus& camera : snapshot->cameras) list_->addItem(QString::fromStdString(camera.name));
    if (list_->count() > 0) list_->setCurrentRow(0);
}

void CCameraListDlg::removeSelected()
{
    if (list_->count() == 0 || list_->currentItem() == nullptr) return;
    const std::string name = list_->currentItem()->text().toStdString();
    const int count = engine_.removeCamera(name);
    fill();
    if (main_ == nullptr) return;
    if (count == 0) {
        main_->buildStatusText();
        return;
    }
    main_->rebuildGridFor(count);
}

void CCameraListDlg::openProperties()
{
    if (list_->count() == 0 || list_->currentItem() == nullptr) return;
    const int row = list_->currentRow();
    CCameraPropertiesDlg properties(engine_, list_->currentItem()->text().toStdString(), row, this);
    properties.exec();
    fill();  // a rename shows at once
    list_->setCurrentRow(row);
}

}  // namespace cx
