#include "CAddCameraDlg.h"

#include <QComboBox>
#include <QLineEdit>

#include "ButtonPoints.h"
#include "MainWindowHost.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "CameraFieldLimits.h"
#include "CameraFields.h"
#include "Engine.h"
#include "FontHeight.h"
#include "IpAddressEdit.h"
#include "RtspFields.h"
#include "SkinLook.h"

namespace cx {

namespace {
constexpr int dialogWidth = 440, dialogHeight = 350;
constexpr int passwordRow = 6;
// Three rows of RTSP fields and their problem line below the password.
constexpr int rtspHeight = (RtspFields::rows + 1) * FieldRow::step;
constexpr const char* defaultPort = "8080";
}  // namespace

CAddCameraDlg::CAddCameraDlg(Engine& engine, MainWindowHost* main, int model, QString typeText, QWidget* parent)
    : SkinDialog(parent), engine_(engine), main_(main), typeText_(std::move(typeText))
{
    setObjectName(QStringLiteral("addCameraDialog"));
    setWindowTitle(QStringLiteral("Add Camera"));
    setFixedSize(dialogWidth, dialogHeight);

    addDialogTitle(this, QStringLiteral("Add Camera"), QRect(20, 10, 400, 34), QString());

    fields_ = std::make_unique<CameraFields>(this, 0, 2);
    rtsp_ = std::make_unique<RtspFields>(this, passwordRow + 1);
    fieldLabel(this, QStringLiteral("Camera model"), 1);
    model_ = new QComboBox(this);
    model_->setObjectName(QStringLiteral("cameraType"));  // 1168
    model_->setGeometry(FieldRow::controlX, FieldRow::y(1), FieldRow::controlWidth, FieldRow::height);
    const auto models = Engine::cameraModels();
    for (const CameraModel& m : models) model_->addItem(QString::fromLatin1(m.name));
    model_->setCurrentIndex(model >= 0 && model < model_->count() ? model : 0);
    connect(model_, &QComboBox::currentIndexChanged, this, [this, models](int index) {
        if (index < 0 || index >= static_cast<int>(models.size())) return;
        typeText_ = QString::number(models[static_cast<size_t>(index)].code);
        showRtspFields(models[static_cast<size_t>(index)].code == rtspType);
    });

    fields_->name->setText(QStringLiteral("Camera %1").arg(engine_.snapshot()->cameraCount() + 1));
    fields_->port->setText(QString::fromLatin1(defaultPort));
    fields_->login->setText(QStringLiteral("tulip"));
    fields_->password->setText(QStringLiteral("tulip"));
    fields_->applyEnabling();

    const auto& points = SkinLook::instance().info().buttonPoints;
    addAt_ = QPoint(points.at(ButtonPoint::addCameraFirst).x, points.at(ButtonPoint::addCameraFirst).y);
    closeAt_ = QPoint(points.at(ButtonPoint::addCameraSecond).x, points.at(ButtonPoint::addCameraSecond).y);
    add_ = makeSkinButton(this, QStringLiteral("addCamera"), QStringLiteral("Add Camera..."), "addcamera.bmp", addAt_);  // 1049
    connect(add_, &QPushButton::clicked, this, &CAddCameraDlg::addCamera);

    close_ = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", closeAt_);  // 1113
    connect(close_, &QPushButton::clicked, this, [this] { done(2); });

    showRtspFields(typeText_ == QString::number(rtspType));
}

void CAddCameraDlg::showRtspFields(bool shown)
{
    rtsp_->setVisible(shown);
    const int extra = shown ? rtspHeight : 0;
    setFixedSize(dialogWidth, dialogHeight + extra);
    add_->placeAt(addAt_.x(), addAt_.y() + extra);
    close_->placeAt(closeAt_.x(), closeAt_.y() + extra);
    fields_->placeProblem(passwordRow + 1 + (shown ? RtspFields::rows : 0));
    // RTSP servers often listen above 9999.
    fields_->port->setMaxLength(shown ? 5 : 4);
    // The port follows the model while it holds the other kind's default.
    const QString port = fields_->port->text();
    if (shown && port == QLatin1String(defaultPort)) fields_->port->setText(QString::number(rtspDefaultPort));
    if (!shown && port == QString::number(rtspDefaultPort)) fields_->port->setText(QString::fromLatin1(defaultPort));
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
    rtsp_->hideProblem();
    if (!fields_->acceptName(camera.name)) return;
    if (!fields_->showProblem(
            cameraLengthProblem(camera.name, camera.host, camera.port, camera.login, camera.password)))
        return;
    if (rtsp_->isVisible()) {
        camera.rtsp = rtsp_->accept(camera.port, camera.login);
        if (!camera.rtsp) return;
    }
    const CameraChange change = engine_.addCamera(camera);
    if (change == CameraChange::NameInUse) {
        fields_->name->setText(QString::fromLatin1(nameNotUniqueText));
        return;
    }
    if (change == CameraChange::NotStored) {
        fields_->showProblem(cameraNotStoredText);
        return;
    }
    const int count = engine_.snapshot()->cameraCount();
    if (main_ != nullptr && main_->rebuildGridFor(count)) engine_.startConfiguredCameras();
    done(1);
}

}  // namespace cx
