#pragma once
// The fields only an RTSP camera has, shared by the add and properties
// dialogs: main and sub stream paths and the transport, one row each from
// a given row on, and a line below them telling why an entry was refused.

#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "CameraTable.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace cx {

class RtspFields {
public:
    // Rows the fields take; the problem line takes the row after them.
    static constexpr int rows = 3;

    // Creates the controls in `dialog`, hidden, from row `firstRow` on.
    RtspFields(QWidget* dialog, int firstRow);

    QLineEdit* mainPath = nullptr;
    QLineEdit* subPath = nullptr;
    QRadioButton* tcp = nullptr;  // checked at first: the default transport
    QRadioButton* udp = nullptr;
    QLabel* problem = nullptr;  // why the entry was refused; hidden otherwise

    void setVisible(bool shown);
    bool isVisible() const { return shown_; }
    void setSettings(const RtspSettings& settings);
    // The settings as entered, paths without surrounding blanks.
    RtspSettings settings() const;
    // The settings when they, `port` and `login` can reach a camera;
    // otherwise nothing, with the reason shown.
    std::optional<RtspSettings> accept(const std::string& port, const std::string& login);
    void hideProblem();

private:
    std::vector<QWidget*> widgets_;  // everything but the problem line
    bool shown_ = false;
};

}  // namespace cx
