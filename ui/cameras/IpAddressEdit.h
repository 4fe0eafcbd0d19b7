#pragma once
// An IPv4 address typed as four fields of 0..255 (an empty field counts 0).

#include <QWidget>

#include <array>

class QLineEdit;

namespace cx {

class IpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit IpAddressEdit(QWidget* parent = nullptr);

    std::array<int, 4> fields() const;
    void setFields(const std::array<int, 4>& fields);
    bool allZero() const;
    // "%d.%d.%d.%d" of the fields.
    QString text() const;
    QLineEdit* field(int index) const { return fields_[static_cast<size_t>(index)]; }

signals:
    void changed();

private:
    std::array<QLineEdit*, 4> fields_{};
};

}  // namespace cx
