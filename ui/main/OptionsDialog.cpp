#include "OptionsDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QIntValidator>
#include <QLineEdit>

#include "ButtonPoints.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "CTitleLabel.h"
#include "Engine.h"
#include "FontHeight.h"
#include "OwnerDrawButton.h"
#include "SkinArt.h"
#include "SkinLook.h"

namespace cx {

namespace {

uint32_t toSkinColour(const QColor& c)
{
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

CPosStatic* label(QWidget* parent, const QString& text, QRect at)
{
    auto* l = new CPosStatic(LabelRole::Other, parent);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(16));
    l->setFont(f);
    l->setPaintsBackground(false);
    l->setText(text);
    l->setGeometry(at);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return l;
}

}  // namespace

OptionsDialog::OptionsDialog(Engine& engine, QWidget* parent) : SkinDialog(parent), engine_(engine)
{
    const SettingsValues settings = engine_.snapshot()->settings;
    setObjectName(QStringLiteral("optionsDialog"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(440, 310);
    chooseColour = [](const QColor& initial, QWidget* owner) -> std::optional<QColor> {
        const QColor c = QColorDialog::getColor(initial, owner, QStringLiteral("Colour"));
        if (!c.isValid()) return std::nullopt;
        return c;
    };

    addDialogTitle(this, QStringLiteral("Options"), QRect(20, 14, 400, 34), QString());

    const auto modifyButton = [this](const char* name, int y) {
        auto* b = new CSkinButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(QStringLiteral("Modify..."));
        b->resize(110, 30);
        // Packages made for the program's own look carry a "modify.bmp";
        // others give these buttons the close picture, as they always did.
        if (!b->setBitmap("modify.bmp")) b->setBitmap("close.bmp");
        b->placeAt(290, y);
        return b;
    };
    label(this, QStringLiteral("Background Colour"), QRect(24, 62, 250, 30));
    auto* background = modifyButton("modifyBackgroundColour", 60);
    connect(background, &QPushButton::clicked, this, [this] { modifyColour(&SettingsValues::backgroundColour); });
    label(this, QStringLiteral("Text Colour"), QRect(24, 104, 250, 30));
    auto* text = modifyButton("modifyTextColour", 102);
    connect(text, &QPushButton::clicked, this, [this] { modifyColour(&SettingsValues::textColour); });

    QFont boxFont(QStringLiteral("DejaVu Sans"));
    boxFont.setPixelSize(fontPixelSize(16));
    auto* image = new QCheckBox(QStringLiteral("Enable Background Image ?"), this);
    image->setObjectName(QStringLiteral("backgroundImage"));
    image->setFont(boxFont);
    image->setGeometry(24, 146, 390, 26);
    image->setChecked(settings.backgroundImageEnabled != 0);
    connect(image, &QCheckBox::toggled, this, &OptionsDialog::toggleBackgroundImage);

    auto* fixed = new QCheckBox(QStringLiteral("Default image size"), this);
    fixed->setObjectName(QStringLiteral("defaultImageSize"));
    fixed->setFont(boxFont);
    fixed->setGeometry(24, 176, 390, 26);
    fixed->setChecked(settings.fixedImageSize != 0);
    connect(fixed, &QCheckBox::toggled, this, &OptionsDialog::toggleDefaultImageSize);

    label(this, QStringLiteral("Recorded Video Length (Minutes)"), QRect(24, 210, 280, 28));
    auto* minutes = new QLineEdit(this);
    minutes->setObjectName(QStringLiteral("segmentMinutes"));
    minutes->setFont(boxFont);
    minutes->setGeometry(310, 210, 60, 28);
    minutes->setValidator(new QIntValidator(1, 60, minutes));
    minutes->setText(QString::number(settings.segmentMinutes));
    connect(minutes, &QLineEdit::textEdited, this, &OptionsDialog::segmentMinutesEdited);

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    const SkinPoint at = SkinLook::instance().info().buttonPoints.at(ButtonPoint::optionsClose);
    close->placeAt(at.x, at.y);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void OptionsDialog::change(const std::function<void(SettingsValues&)>& edit)
{
    // From the latest snapshot, so a change made elsewhere meanwhile (a
    // camera's schedule flag) is not put back.
    SettingsValues values = engine_.snapshot()->settings;
    edit(values);
    engine_.changeSettings(values);
}

std::vector<QWidget*> OptionsDialog::affectedWindows()
{
    std::vector<QWidget*> windows{this};
    QWidget* behind = parentWidget() ? parentWidget()->window() : nullptr;
    for (int n = 0; n < 2 && behind != nullptr; ++n) {
        windows.push_back(behind);
        behind = behind->parentWidget() ? behind->parentWidget()->window() : nullptr;
    }
    return windows;
}

void OptionsDialog::modifyColour(uint32_t SettingsValues::*field)
{
    const uint32_t now = engine_.snapshot()->settings.*field;
    const std::optional<QColor> chosen = chooseColour ? chooseColour(art::fromSkinColour(now), this) : std::nullopt;
    if (!chosen) return;
    change([&](SettingsValues& v) { v.*field = toSkinColour(*chosen); });
    for (QWidget* w : affectedWindows()) w->update();
}

void OptionsDialog::toggleBackgroundImage(bool on)
{
    change([on](SettingsValues& v) { v.backgroundImageEnabled = on ? 1 : 0; });
    for (QWidget* w : affectedWindows()) applyBackgroundImageStyle(w, on);
}

void OptionsDialog::toggleDefaultImageSize(bool on)
{
    change([on](SettingsValues& v) { v.fixedImageSize = on ? 1 : 0; });
    for (QWidget* w : affectedWindows())
        if (w != this) w->update();
}

void OptionsDialog::segmentMinutesEdited(const QString& text)
{
    bool ok = false;
    const int minutes = text.toInt(&ok);
    if (!ok || minutes < 1 || minutes > 60) return;  // the recorder keeps the last valid length
    change([minutes](SettingsValues& v) { v.segmentMinutes = minutes; });
}

}  // namespace cx
