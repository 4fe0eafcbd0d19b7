#include "CSelectCameraType.h"

#include <QLabel>

#include <algorithm>

#include "ButtonPoints.h"
#include "CActionButton.h"
#include "CAddCameraDlg.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"
#include "ProgramBitmaps.h"
#include "ScrollPanel.h"
#include "SkinLook.h"

namespace cx {

namespace {
constexpr int perRow = 5, columnStep = 118, rowStep = 41;
constexpr int panelLeft = 14, panelTop = 56, bottomBand = 56;
}  // namespace

CSelectCameraType::CSelectCameraType(Engine& engine, MainWindowHost* main, QWidget* parent)
    : SkinDialog(parent), engine_(engine), main_(main)
{
    setObjectName(QStringLiteral("selectCameraType"));
    setWindowTitle(QStringLiteral("Select Camera Type"));

    addDialogTitle(this, QStringLiteral("Select Camera Type"), QRect(20, 12, 560, 34), QString());

    const bool ownerDrawn = SkinLook::instance().backgroundImageEnabled();
    auto* panel = new ScrollPanel(this);
    panel->setObjectName(QStringLiteral("modelPanel"));  // static 1161
    int buttonHeight = 0;
    int buttonWidth = 0;
    const auto models = Engine::cameraModels();
    for (size_t j = 0; j < models.size(); ++j) {
        const int k = static_cast<int>(j);
        auto* b = new CActionButton(panel->content());
        b->setObjectName(QStringLiteral("model%1").arg(k));
        b->setText(QString::fromLatin1(models[j].name));
        b->setBitmaps(programBitmap(167), programBitmap(166));
        b->setOwnerDrawn(ownerDrawn);
        b->move((k % perRow) * columnStep, (k / perRow) * rowStep);
        buttonHeight = b->height();
        buttonWidth = b->width();
        // The last model's name ("RTSP (H.264/H.265)") is longer than a
        // button: it takes the free cells to its right as far as it needs.
        if (j + 1 == models.size()) {
            const int freeCells = perRow - 1 - k % perRow;
            const int missing = b->fontMetrics().horizontalAdvance(b->text()) + 16 - b->width();
            const int cells = std::clamp((missing + columnStep - 1) / columnStep, 0, freeCells);
            b->resize(b->width() + cells * columnStep, b->height());
        }
        connect(b, &QPushButton::clicked, this, [this, k] { chooseModel(k); });
    }
    const int rows = (static_cast<int>(models.size()) + perRow - 1) / perRow;
    const int contentHeight = (rows - 1) * rowStep + buttonHeight;
    const int panelWidth = (perRow - 1) * columnStep + buttonWidth + 24;  // room for a scroll bar
    panel->setContentHeight(contentHeight);
    // The dialog grows to show every row.
    panel->setGeometry(panelLeft, panelTop, panelWidth, contentHeight + 4);
    setFixedSize(panelLeft * 2 + panelWidth, panelTop + contentHeight + 4 + bottomBand);

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));  // 1113
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    close->placeAt(width() - close->width() - 20, height() - bottomBand + 10);
    connect(close, &QPushButton::clicked, this, [this] { done(2); });
}

void CSelectCameraType::chooseModel(int j)
{
    const auto models = Engine::cameraModels();
    if (j < 0 || j >= static_cast<int>(models.size())) return;
    // The button names the model; its code is the camera type.
    CAddCameraDlg add(engine_, main_, j, QString::number(models[static_cast<size_t>(j)].code), this);
    add.exec();
}

}  // namespace cx
