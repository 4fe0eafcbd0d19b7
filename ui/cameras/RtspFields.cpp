#include "RtspFields.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QRadioButton>

#include "CameraFields.h"
#include "RtspSettingsCheck.h"

namespace cx {

namespace {

QLineEdit* pathEdit(QWidget* parent, const char* objectName, const char* hint, int row)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(objectName));
    e->setPlaceholderText(QString::fromLatin1(hint));
    e->setGeometry(FieldRow::controlX, FieldRow::y(row), FieldRow::controlWidth, FieldRow::height);
    return e;
}

}  // namespace

RtspFields::RtspFields(QWidget* dialog, int firstRow)
{
    int row = firstRow;
    widgets_.push_back(fieldLabel(dialog, QStringLiteral("Main stream"), row));
    mainPath = pathEdit(dialog, "rtspMainPath", "/Streaming/Channels/101", row++);
    widgets_.push_back(mainPath);
    widgets_.push_back(fieldLabel(dialog, QStringLiteral("Sub stream"), row));
    subPath = pathEdit(dialog, "rtspSubPath", "/Streaming/Channels/102 (optional)", row++);
    widgets_.push_back(subPath);
    widgets_.push_back(fieldLabel(dialog, QStringLiteral("Transport"), row));
    tcp = new QRadioButton(QStringLiteral("TCP"), dialog);
    tcp->setObjectName(QStringLiteral("rtspTcp"));
    tcp->setGeometry(FieldRow::controlX, FieldRow::y(row), 80, FieldRow::height);
    udp = new QRadioButton(QStringLiteral("UDP"), dialog);
    udp->setObjectName(QStringLiteral("rtspUdp"));
    udp->setGeometry(FieldRow::controlX + 90, FieldRow::y(row++), 80, FieldRow::height);
    // A group of their own: the dialog's other buttons are no part of it.
    auto* transport = new QButtonGroup(dialog);
    transport->addButton(tcp);
    transport->addButton(udp);
    tcp->setChecked(true);
    widgets_.push_back(tcp);
    widgets_.push_back(udp);

    problem = new QLabel(dialog);
    problem->setObjectName(QStringLiteral("rtspProblem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #a00000;"));
    problem->setGeometry(FieldRow::labelX, FieldRow::y(row) - 4, 400, 2 * FieldRow::height);

    for (QWidget* w : widgets_) w->hide();
    problem->hide();
    // A reason next to a path being corrected would read as the new path's.
    for (QLineEdit* path : {mainPath, subPath})
        QObject::connect(path, &QLineEdit::textEdited, problem, [this] { hideProblem(); });
}

void RtspFields::setVisible(bool shown)
{
    shown_ = shown;
    for (QWidget* w : widgets_) w->setVisible(shown);
    if (!shown) hideProblem();
}

void RtspFields::setSettings(const RtspSettings& settings)
{
    mainPath->setText(QString::fromStdString(settings.mainPath));
    subPath->setText(QString::fromStdString(settings.subPath));
    (settings.udp ? udp : tcp)->setChecked(true);
}

RtspSettings RtspFields::settings() const
{
    return {mainPath->text().trimmed().toStdString(), subPath->text().trimmed().toStdString(), udp->isChecked()};
}

std::optional<RtspSettings> RtspFields::accept(const std::string& port, const std::string& login)
{
    const RtspSettings entered = settings();
    std::string why = portProblem(port);
    if (why.empty()) why = rtspLoginProblem(login);
    if (why.empty()) why = rtspSettingsProblem(entered);
    problem->setText(QString::fromStdString(why));
    problem->setVisible(!why.empty());
    if (!why.empty()) return std::nullopt;
    return entered;
}

void RtspFields::hideProblem()
{
    problem->clear();
    problem->hide();
}

}  // namespace cx
