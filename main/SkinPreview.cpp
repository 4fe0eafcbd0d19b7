// cx-skin-preview: shows a skin without cameras, for skin authors and for
// the screenshots in docs/.
//
//   cx-skin-preview [--image] FILE.int background   the shaped main window picture with its buttons
//   cx-skin-preview [--image] FILE.int dialog       a dialog of every skinned control
//
// --image turns the background image option on (tiled dialogs, owner-drawn buttons).

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QScreen>
#include <cstdio>
#include <cstring>
#include <string>

#include "ActiveSkin.h"
#include "ButtonOutline.h"
#include "CActionButton.h"
#include "CHoverButton.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "ProgramBitmaps.h"
#include "Settings.h"
#include "SkinDialog.h"
#include "SkinLook.h"

using namespace cx;

namespace {

class BackgroundWindow : public QWidget {
public:
    explicit BackgroundWindow(const QImage& picture) : picture_(picture)
    {
        setWindowFlags(Qt::FramelessWindowHint);
        resize(picture.width() - 1, picture.height() - 1);
        setMask(keyedOutline(picture, keyColourOf(picture)));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, picture_);
    }

private:
    QImage picture_;
};

void addLabel(QWidget* parent, LabelRole role, const SkinRect& r, const QString& text, Qt::Alignment align)
{
    auto* label = new CPosStatic(role, parent);
    label->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    label->setText(text);
    label->setAlignment(align);
    label->setPaintsBackground(false);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(role == LabelRole::Clock ? 20 : 13);
    f.setWeight(role == LabelRole::Clock ? QFont::DemiBold : QFont::Normal);
    label->setFont(f);
}

struct MainButton {
    int point;
    const char* entry;
    const char* text;
};

int showBackground(const ActiveSkin& skin)
{
    const QImage picture = skin.bitmap("background.bmp");
    if (picture.isNull()) {
        std::fprintf(stderr, "cx-skin-preview: the package has no usable background.bmp\n");
        return 1;
    }
    auto* window = new BackgroundWindow(picture);
    const InterfaceInfo& info = skin.info();
    const MainButton buttons[] = {{0, "about.bmp", "About Us"},     {1, "exit.bmp", "Exit"},
                                  {2, "cameras.bmp", "Cameras"},    {3, "monitor.bmp", "Monitor"},
                                  {4, "options.bmp", "Options"},    {5, "addcamera.bmp", "Add Camera"},
                                  {6, "snapshot.bmp", "Snapshot"},  {7, "adjust.bmp", "Adjust Layout"},
                                  {9, "record.bmp", "Record"},      {10, "replay.bmp", "Replay"},
                                  {12, "website.bmp", "Website"},   {13, "interface.bmp", "Interface"}};
    for (const auto& b : buttons) {
        auto* button = new CSkinButton(window);
        button->setText(QString::fromUtf8(b.text));
        button->setBitmap(b.entry);
        const SkinPoint at = info.buttonPoints.at(b.point);
        button->placeAt(at.x, at.y);
    }
    // The labels sit on the window picture in the real main window; here
    // their own background shows where they lie.
    const QDateTime now = QDateTime::currentDateTime();
    addLabel(window, LabelRole::DateOrStatus, info.dateRect, now.toString(QStringLiteral("dddd, MMMM dd, yyyy")),
             Qt::AlignRight | Qt::AlignVCenter);
    addLabel(window, LabelRole::Clock, info.clockRect, now.toString(QStringLiteral("hh:mm:ss")), Qt::AlignCenter);
    addLabel(window, LabelRole::DateOrStatus, info.statusRect,
             QStringLiteral("         Monitoring 4 cameras...Recording 1 camera...") +
                 QString::fromStdString(skin.statusSuffix().value_or("")),
             Qt::AlignLeft | Qt::AlignVCenter);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    window->move(screen.center() - window->rect().center());
    window->show();
    return QApplication::exec();
}

int showDialog()
{
    auto* dialog = new SkinDialog(nullptr, GradientDirection::TopToBottom);
    dialog->setWindowTitle(QStringLiteral("Camera Properties"));
    dialog->resize(560, 420);

    auto* title = new CTitleLabel(dialog);
    title->setText(QStringLiteral("Camera Properties"));
    QFont big(QStringLiteral("DejaVu Sans"));
    big.setPixelSize(20);
    big.setWeight(QFont::DemiBold);
    title->setFont(big);
    title->setGeometry(24, 18, 512, 34);

    const char* fields[][2] = {{"Camera name", "Entrance North"}, {"Address", "192.168.1.64"},
                               {"Port", "80"}, {"Model", "Stream camera (MJPEG)"}};
    for (int i = 0; i < 4; ++i) {
        auto* name = new CPosStatic(LabelRole::Other, dialog);
        name->setText(QString::fromUtf8(fields[i][0]));
        name->setGeometry(32, 72 + 34 * i, 150, 26);
        auto* value = new CPosStatic(LabelRole::DateOrStatus, dialog);
        value->setText(QString::fromUtf8(fields[i][1]));
        value->setGeometry(190, 72 + 34 * i, 330, 26);
    }

    auto* modelTitle = new CPosStatic(LabelRole::Other, dialog);
    modelTitle->setText(QStringLiteral("Camera model"));
    modelTitle->setGeometry(32, 212, 300, 20);

    const char* models[] = {"Snapshot JPEG", "MJPEG Stream", "Binary Protocol"};
    for (int i = 0; i < 3; ++i) {
        auto* model = new CActionButton(dialog);
        model->setObjectName(QStringLiteral("model%1").arg(i));
        model->setBitmaps(programBitmap(167), programBitmap(166));
        model->setText(QString::fromUtf8(models[i]));
        model->resize(150, 38);
        model->move(32 + 166 * i, 236);
    }

    const char* tools[] = {"Monitor", "Replay Video", "Close"};
    const int columns[] = {2, -1, -4};
    for (int i = 0; i < 3; ++i) {
        auto* hover = new CHoverButton(dialog);
        hover->setBitmaps(programBitmap(159), programBitmap(160));
        hover->setText(QString::fromUtf8(tools[i]));
        hover->placeByRule(0, dialog->width(), 346, 0, columns[i]);
    }

    const char* skinButtons[][2] = {{"properties.bmp", "Properties"}, {"Remove Camera.bmp", "Remove"},
                                    {"save.bmp", "Save"}, {"close.bmp", "Close"}};
    for (int i = 0; i < 4; ++i) {
        auto* button = new CSkinButton(dialog);
        button->setText(QString::fromUtf8(skinButtons[i][1]));
        button->setBitmap(skinButtons[i][0]);
        button->placeAt(24 + 132 * i, 360);
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    dialog->move(screen.center() - dialog->rect().center());
    dialog->show();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int i = 1;
    SettingsValues settings;
    if (i < argc && std::strcmp(argv[i], "--image") == 0) {
        settings.backgroundImageEnabled = 1;
        ++i;
    }
    if (argc - i != 2) {
        std::fprintf(stderr, "usage: cx-skin-preview [--image] FILE.int background|dialog\n");
        return 2;
    }
    ActiveSkin skin;
    if (!skin.open(argv[i])) {
        std::fprintf(stderr, "cx-skin-preview: cannot open %s\n", argv[i]);
        return 1;
    }
    const auto temp = std::filesystem::temp_directory_path();
    skin.parseDescription(temp);
    SkinLook::instance().attach(&skin, nullptr);
    SkinLook::instance().setSettings(settings);
    SkinLook::instance().setTile(programBitmap(154));
    // The preview always shows the picture buttons the way the main window draws them.
    const std::string mode = argv[i + 1];
    if (mode == "background") {
        settings.backgroundImageEnabled = 1;
        SkinLook::instance().setSettings(settings);
        return showBackground(skin);
    }
    if (mode == "dialog") return showDialog();
    std::fprintf(stderr, "cx-skin-preview: unknown view %s\n", mode.c_str());
    return 2;
}
