#pragma once
// The options dialog: background and text colour, the background image
// option, the default image size and the recording segment length. Every
// change goes to the engine at once, which stores it.

#include <QColor>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "Settings.h"
#include "SkinDialog.h"

class QCheckBox;
class QLineEdit;

namespace cx {

class Engine;

class OptionsDialog : public SkinDialog {
    Q_OBJECT
public:
    // Shows the options the engine publishes now.
    explicit OptionsDialog(Engine& engine, QWidget* parent = nullptr);

    // The colour chooser; nothing when the user cancels. Replaceable so
    // the dialog can be driven without a person.
    std::function<std::optional<QColor>(const QColor& initial, QWidget* parent)> chooseColour;

private:
    void modifyColour(uint32_t SettingsValues::*field);
    void toggleBackgroundImage(bool on);
    void toggleDefaultImageSize(bool on);
    void segmentMinutesEdited(const QString& text);
    // The engine's options now with `edit` applied, handed back to it.
    void change(const std::function<void(SettingsValues&)>& edit);
    // This dialog and the two windows behind it (its owner chain).
    std::vector<QWidget*> affectedWindows();

    Engine& engine_;
};

}  // namespace cx
