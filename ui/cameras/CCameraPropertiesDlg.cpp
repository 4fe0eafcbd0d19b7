#include "CCameraPropertiesDlg.h"

#include <QCheckBox>
#include <QLineEdit>

#include <algorithm>

#include "ButtonPoints.h"
#include "CAddCameraDlg.h"
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

constexpr int flipsRow = 6;
// Three rows of RTSP fields and their problem line below the flips.
constexpr int rtspHeight = (RtspFields::rows + 1) * FieldRow::step;

bool digitsAndDots(const std::string& host)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

std::array<int, 4> dottedFields(const std::string& host)
{
    std::array<int, 4> out{};
    size_t field = 0;
    for (char c : host) {
        if (c == '.') {
            if (++field == out.size()) break;
        } else {
            out[field] = std::min(out[field] * 10 + (c - '0'), 999);
        }
    }
    return out;
}

}  // namespace

CCameraPropertiesDlg::CCameraPropertiesDlg(Engine& engine, std::string storedName, int slot, QWidget* parent)
    : SkinDialog(parent), engine_(engine), storedName_(std::move(storedName)), slot_(slot)
{
    setObjectName(QStringLiteral("cameraPropertiesDialog"));
    setWindowTitle(QStringLiteral("Camera Properties"));
    addDialogTitle(this, QStringLiteral("Camera Properties"), QRect(20, 10, 400, 34), QString());

    fields_ = std::make_unique<CameraFields>(this, 0, 1);
    flipHorizontal_ = new QCheckBox(QStringLiteral("Flip Horizontally"), this);
    flipHorizontal_->setObjectName(QStringLiteral("flipHorizontal"));  // 1149
    flipHorizontal_->setGeometry(FieldRow::controlX, FieldRow::y(flipsRow), 130, FieldRow::height);
    flipVertical_ = new QCheckBox(QStringLiteral("Flip Vertically"), this);
    flipVertical_->setObjectName(QStringLiteral("flipVertical"));  // 1150
    flipVertical_->setGeometry(FieldRow::controlX + 135, FieldRow::y(flipsRow), 125, FieldRow::height);

    const auto snapshot = engine_.snapshot();
    const CameraStatus* camera = snapshot->camera(slot_);
    const CameraEntry entry = camera != nullptr ? camera->entry : CameraEntry{};
    // An RTSP camera's settings below the flips; missing ones are entered
    // here and stored by Update.
    rtsp_ = std::make_unique<RtspFields>(this, flipsRow + 1);
    const bool rtspCamera = entry.type == rtspType;
    const int extra = rtspCamera ? rtspHeight : 0;
    setFixedSize(440, 350 + extra);
    if (rtspCamera) {
        rtsp_->setVisible(true);
        if (entry.rtsp) rtsp_->setSettings(*entry.rtsp);
        fields_->port->setMaxLength(5);
        fields_->placeProblem(flipsRow + 1 + RtspFields::rows);
    }
    const size_t colon = entry.address.find(':');
    const std::string host = entry.address.substr(0, colon);
    const std::string port = colon == std::string::npos ? std::string() : entry.address.substr(colon + 1);
    if (digitsAndDots(host)) {
        fields_->ip->setFields(dottedFields(host));
        hostAtOpening_ = fields_->ip->text();
        fields_->ip->setEnabled(true);
        fields_->domain->setEnabled(false);
    } else {
        fields_->domain->setText(QString::fromStdString(host));
        hostAtOpening_ = fields_->domain->text();
        fields_->domain->setEnabled(true);
        fields_->ip->setEnabled(false);
    }
    portAtOpening_ = QString::fromStdString(port);
    fields_->name->setText(QString::fromStdString(storedName_));
    fields_->port->setText(QString::fromStdString(port));
    fields_->login->setText(QString::fromStdString(entry.login));
    fields_->password->setText(QString::fromStdString(entry.password));
    const SlotFlips flips = camera != nullptr ? camera->flips : SlotFlips{};
    flipHorizontal_->setChecked(flips.horizontal);
    flipVertical_->setChecked(flips.vertical);
    // The live picture shows a flip before anything is stored.
    connect(flipHorizontal_, &QCheckBox::clicked, this, &CCameraPropertiesDlg::flipsClicked);
    connect(flipVertical_, &QCheckBox::clicked, this, &CCameraPropertiesDlg::flipsClicked);

    const auto& points = SkinLook::instance().info().buttonPoints;
    auto* updateButton = makeSkinButton(this, QStringLiteral("update"), QStringLiteral("Update"), "update.bmp", QPoint(points.at(ButtonPoint::propertiesFirst).x, points.at(ButtonPoint::propertiesFirst).y + extra));  // 1049
    connect(updateButton, &QPushButton::clicked, this, &CCameraPropertiesDlg::update);

    auto* close = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", QPoint(points.at(ButtonPoint::propertiesSecond).x, points.at(ButtonPoint::propertiesSecond).y + extra));  // 1113
    connect(close, &QPushButton::clicked, this, &CCameraPropertiesDlg::closeResettingFlips);
}

CCameraPropertiesDlg::~CCameraPropertiesDlg() = default;

void CCameraPropertiesDlg::flipsClicked()
{
    engine_.setFlips(slot_, flipHorizontal_->isChecked() ? 1 : 0, flipVertical_->isChecked() ? 1 : 0);
}

void CCameraPropertiesDlg::update()
{
    NewCamera camera;
    camera.name = CameraFields::text(fields_->name);
    camera.port = CameraFields::text(fields_->port);
    camera.login = CameraFields::text(fields_->login);
    camera.password = CameraFields::text(fields_->password);
    const QString ip = fields_->ip->text();
    camera.host = ip == QStringLiteral("0.0.0.0") ? CameraFields::text(fields_->domain) : ip.toStdString();

    if (camera.name == nameNotUniqueText) return;
    rtsp_->hideProblem();
    if (!fields_->acceptName(camera.name)) return;
    if (!fields_->showProblem(
            cameraLengthProblem(camera.name, camera.host, camera.port, camera.login, camera.password)))
        return;
    if (rtsp_->isVisible()) {
        camera.rtsp = rtsp_->accept(camera.port, camera.login);
        if (!camera.rtsp) return;
    }
    const bool addressChanged =
        QString::fromStdString(camera.host) != hostAtOpening_ || QString::fromStdString(camera.port) != portAtOpening_;
    // A rename may not take another camera's name: rows are found by name.
    const CameraChange change = engine_.updateCamera(slot_, storedName_, camera, addressChanged);
    if (change == CameraChange::NameInUse) {
        fields_->name->setText(QString::fromLatin1(nameNotUniqueText));
        return;
    }
    if (change == CameraChange::NotStored) {
        fields_->showProblem(cameraNotStoredText);
        return;
    }
    done(1);
}

void CCameraPropertiesDlg::closeResettingFlips()
{
    const auto snapshot = engine_.snapshot();
    if (const CameraStatus* camera = snapshot->camera(slot_))
        engine_.setFlips(slot_, camera->defaults.flipHorizontal, camera->defaults.flipVertical);
    done(2);
}

}  // namespace cx
