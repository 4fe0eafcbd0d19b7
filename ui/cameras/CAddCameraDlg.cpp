#include "CAddCameraDlg.h"

#include <QComboBox>
#include <QLineEdit>

#include "ButtonPoints.h"
#include "MainWindowHost.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "CameraFields.h"
#include "Engine.h"
#include "FontHeight.h"
#include "IpAddressEdit.h"
#include "SkinLook.h"

namespace cx {

CAddCameraDlg::CAddCameraDlg(Engine& engine, MainWindowHost* main, int model, QString typeText, QWidget* parent)
    : SkinDialog(parent), engine_(engine), main_(main), typeText_(std::move(typeText))
{
    setObjectName(QStringLiteral("addCameraDialog"));
    setWindowTitle(QStringLiteral("Add Camera"));
    setFixedSize(440, 350);

    addDialogTitle(this, QStringLiteral("Add Camera"), QRect(20, 10, 400, 34), QString());

    fields_ = std::make_unique<CameraFields>(this, 0, 2);
    fieldLabel(this, QStringLiteral("Camera model"), 1);
    model_ = new QComboBox(this);
    model_->setObjectName(QStringLiteral("cameraType"));  // 1168
    model_->setGeometry(FieldRow::controlX, FieldRow::y(1), FieldRow::controlWidth, FieldRow::height);
    const auto models = Engine::cameraModels();
    for (const CameraModel& m : models) model_->addItem(QString::fromLatin1(m.name));
    model_->setCurrentIndex(model >= 0 && model < model_->count() ? model : 0);
    connect(model_, &QComboBox::currentIndexChanged, this, [this, models](int index) {
        if (index >= 0 && index < static_cast<int>(models.size()))
            typeText_ = QString::number(models[static_cast<size_t>(index)].code);
    });

    fields_->name->setText(QStringLiteral("Camera %1").arg(engine_.snapshot()->cameraCount() + 1));
    fields_->port->setText(QStringLiteral("8080"));
    fields_->login->setText(QStringLiteral("tulip"));
    fields_->password->setText(QStringLiteral("tulip"));
    fields_->applyEnabling();

    const auto& points = SkinLook::instance().info().buttonPoints;
    auto* add = makeSkinButton(this, QStringLiteral("addCamera"), QStringLiteral("Add Camera..."), "addcamera.bmp", QPoint(points.at(ButtonPoint::addCameraFirst).x, points.at(ButtonPoint::addCameraFirst).y));  // 1049
    connect(add, &QPushButton::clicked, this, &CAddCameraDlg::addCamera);

    auto* close = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", QPoint(points.at(ButtonPoint::addCameraSecond).x, points.at(ButtonPoint::addCameraSecond).y));  // 1113
    connect(close, &QPushButton::clicked, this, [this] { done(2); });
}

CAddCameraDlg::~CAddCameraDlg() = default;

void CAddCameraDlg::addCamera()
{
    NewCamera camera;
    camera.name = CameraFields::text(fields_->name);
    camera.port = CameraFields::text(fields_->port);
    camera.login = CameraFields::text(fields_->login);
    camera.password = CameraFields::text(fields_->password);
    camera.type = typeText_.toStdString();
    if (camera.name.empty() || camera.name == nameNotUniqueText) return;

    const std::string domain = CameraFields::text(fields_->domain);
    if (!domain.empty()) {
        camera.host = domain;
    } else {
        const auto ip = fields_->ip->fields();
        // An address starting or ending in 0 is no camera's.
        if (ip[0] == 0 || ip[3] == 0) return;
        camera.host = fields_->ip->text().toStdString();
    }
    // The name becomes the camera's recordings folder.
    if (!fields_->acceptName(camera.name)) return;
    if (engine_.addCamera(camera) == CameraChange::NameInUse) {
        fields_->name->setText(QString::fromLatin1(nameNotUniqueText));
        return;
    }
    const int count = engine_.snapshot()->cameraCount();
    if (main_ != nullptr && main_->rebuildGridFor(count)) engine_.startConfiguredCameras();
    done(1);
}

}  // namespace cx
