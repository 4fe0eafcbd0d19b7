#include "IpAddressEdit.h"

#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>

namespace cx {

IpAddressEdit::IpAddressEdit(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (i > 0) row->addWidget(new QLabel(QStringLiteral("."), this));
        auto* f = new QLineEdit(QStringLiteral("0"), this);
        f->setObjectName(QStringLiteral("ipField%1").arg(i));
        f->setValidator(new QIntValidator(0, 255, f));
        f->setMaxLength(3);
        f->setAlignment(Qt::AlignCenter);
        connect(f, &QLineEdit::textChanged, this, &IpAddressEdit::changed);
        row->addWidget(f);
        fields_[i] = f;
    }
}

std::array<int, 4> IpAddressEdit::fields() const
{
    std::array<int, 4> out{};
    for (size_t i = 0; i < fields_.size(); ++i) out[i] = fields_[i]->text().toInt();
    return out;
}

void IpAddressEdit::setFields(const std::array<int, 4>& fields)
{
    for (size_t i = 0; i < fields_.size(); ++i) fields_[i]->setText(QString::number(fields[i]));
}

bool IpAddressEdit::allZero() const
{
    const auto f = fields();
    return f[0] == 0 && f[1] == 0 && f[2] == 0 && f[3] == 0;
}

QString IpAddressEdit::text() const
{
    const auto f = fields();
    return QStringLiteral("%1.%2.%3.%4").arg(f[0]).arg(f[1]).arg(f[2]).arg(f[3]);
}

}  // namespace cx
