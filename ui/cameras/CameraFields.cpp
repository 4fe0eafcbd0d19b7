#include "CameraFields.h"

#include <QLabel>
#include <QLineEdit>
#include <QObject>

#include "FontHeight.h"
#include "IpAddressEdit.h"
#include "ProgramFolder.h"

namespace cx {

namespace {

QLineEdit* edit(QWidget* parent, const char* objectName, int row)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(objectName));
    e->setGeometry(FieldRow::controlX, FieldRow::y(row), FieldRow::controlWidth, FieldRow::height);
    return e;
}

}  // namespace

QLabel* fieldLabel(QWidget* parent, const QString& text, int row)
{
    auto* l = new QLabel(text, parent);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(15));
    l->setFont(f);
    l->setGeometry(FieldRow::labelX, FieldRow::y(row), FieldRow::controlX - FieldRow::labelX - 8, FieldRow::height);
    return l;
}

CameraFields::CameraFields(QWidget* dialog, int nameRow, int addressRow)
{
    fieldLabel(dialog, QStringLiteral("Camera name"), nameRow);
    name = edit(dialog, "name", nameRow);
    int row = addressRow;
    fieldLabel(dialog, QStringLiteral("Domain name"), row);
    domain = edit(dialog, "domain", row++);
    fieldLabel(dialog, QStringLiteral("IP address"), row);
    ip = new IpAddressEdit(dialog);
    ip->setObjectName(QStringLiteral("ipAddress"));
    ip->setGeometry(FieldRow::controlX, FieldRow::y(row++), FieldRow::controlWidth, FieldRow::height);
    fieldLabel(dialog, QStringLiteral("Port"), row);
    port = edit(dialog, "port", row++);
    port->setMaxLength(4);
    fieldLabel(dialog, QStringLiteral("Login"), row);
    login = edit(dialog, "login", row++);
    fieldLabel(dialog, QStringLiteral("Password"), row);
    password = edit(dialog, "password", row++);
    password->setEchoMode(QLineEdit::Password);

    problem = new QLabel(dialog);
    problem->setObjectName(QStringLiteral("nameProblem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color: #a00000;"));
    placeProblem(row);
    problem->hide();

    QObject::connect(domain, &QLineEdit::textChanged, domain, [this] { ip->setEnabled(domain->text().isEmpty()); });
    QObject::connect(ip, &IpAddressEdit::changed, domain, [this] { domain->setEnabled(ip->allZero()); });
}

std::string CameraFields::text(const QLineEdit* edit)
{
    return edit->text().toStdString();
}

bool CameraFields::acceptName(const std::string& value)
{
    return showProblem(isSafeFileName(value) ? std::string() : std::string(unsafeNameText));
}

bool CameraFields::showProblem(const std::string& why)
{
    problem->setText(QString::fromStdString(why));
    problem->setVisible(!why.empty());
    return why.empty();
}

void CameraFields::placeProblem(int row)
{
    problem->setGeometry(FieldRow::labelX, FieldRow::y(row) - 4, 400, 2 * FieldRow::height);
}

void CameraFields::applyEnabling()
{
    ip->setEnabled(domain->text().isEmpty());
    domain->setEnabled(ip->allZero());
}

}  // namespace cx
