#pragma once
// The title label of dialogs: text in colour 9 on the left-to-right
// background. While any title label exists the Alt key is swallowed
// program-wide, so it cannot open the window menu.

#include <QRect>
#include <QString>

#include "CPosStatic.h"

namespace cx {

class CTitleLabel : public CPosStatic {
    Q_OBJECT
public:
    explicit CTitleLabel(QWidget* parent = nullptr);
    ~CTitleLabel() override;

    static int liveCount();
};

// The bold title line every dialog of the program opens with; an empty
// object name leaves the default.
CTitleLabel* addDialogTitle(QWidget* parent, const QString& text, QRect geometry, const QString& objectName = {});

}  // namespace cx
