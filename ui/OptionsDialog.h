#pragma once
// The options dialog: background and text colour, the background image
// option, the default image size and the recording segment length. Every
// change is stored in the settings file at once.

#include <QColor>
#include <filesystem>
#include <functional>
#include <optional>

#include "SkinDialog.h"

class QCheckBox;
class QLineEdit;

namespace cx {

struct Settings;

class OptionsDialog : public SkinDialog {
    Q_OBJECT
public:
    OptionsDialog(Settings& settings, std::filesystem::path programFolder, QWidget* parent = nullptr);

    // The colour chooser; nothing when the user cancels. Replaceable so
    // the dialog can be driven without a person.
    std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColour;

private:
    void modifyColour(std::atomic<uint32_t>& setting);
    void toggleBackgroundImage(bool on);
    void toggleDefaultImageSize(bool on);
    void segmentMinutesEdited(const QString& text);
    void save();
    // This dialog and the two windows behind it (its owner chain).
    std::vector<QWidget*> affectedWindows();

    Settings& settings_;
    std::filesystem::path programFolder_;
};

}  // namespace cx
