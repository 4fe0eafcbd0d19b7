#include "CToolsDialog.h"

#include <QGuiApplication>
#include <QScreen>

#include "CHoverButton.h"
#include "CMonitorDlg.h"
#include "FontHeight.h"
#include "MainButtons.h"
#include "ProgramBitmaps.h"
#include "ReplayDialog.h"

namespace cx {

namespace {

struct Tool {
    int id;
    const char* objectName;
    const char* text;
    int normal, selected;
    int row, column;
};

constexpr Tool tools[] = {
    {1002, "monitor", "Monitor", 164, 165, 0, 2},
    {1026, "replayVideo", "Replay Video", 168, 169, 0, -1},
    {1113, "close", "Close", 191, 192, 0, -4},
    {1027, "cameras", "Cameras", 159, 160, 1, 5},
    {1103, "options", "Options", 194, 193, 1, 2},
    {1015, "record", "Record", 167, 166, 1, -1},
    {1004, "addCamera", "Add Camera", 233, 234, 1, -4},
};

}  // namespace

CToolsDialog::CToolsDialog(CMonitorDlg& main) : SkinDialog(&main), main_(main)
{
    setObjectName(QStringLiteral("toolsDialog"));
    setWindowTitle(QStringLiteral("ToolBox"));
    setMouseTracking(true);
    setFixedSize(620, 90);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixelSize(14));
    for (const Tool& t : tools) {
        auto* b = new CHoverButton(this);
        b->setObjectName(QString::fromLatin1(t.objectName));
        b->setFont(font);
        b->setBitmaps(programBitmap(t.normal), programBitmap(t.selected));
        b->setText(QString::fromLatin1(t.text));
        b->placeByRule(0, width(), height(), t.row, t.column);
        connect(b, &QPushButton::clicked, this, [this, id = t.id] { runTool(id); });
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
}

void CToolsDialog::runTool(int id)
{
    switch (id) {
    case 1113:
        done(1);
        break;
    case 1026: {
        ReplayDialog replay(this);
        replay.exec();
        break;
    }
    case 1002: main_.runButtonAction(MainButton::monitor); break;
    case 1027: main_.runButtonAction(MainButton::cameras); break;
    case 1103: main_.runButtonAction(MainButton::options); break;
    case 1004: main_.runButtonAction(MainButton::addCamera); break;  // nothing with 16 cameras
    case 1015: main_.runButtonAction(MainButton::record); break;  // the engine saves what it changes
    default:
        break;
    }
}

void CToolsDialog::mouseMoveEvent(QMouseEvent* event)
{
    for (auto* b : findChildren<CHoverButton*>()) b->setHovered(false);
    SkinDialog::mouseMoveEvent(event);
}

}  // namespace cx
