#include "CInterface.h"

#include "ActiveSkin.h"
#include "ButtonPoints.h"
#include "MainWindowHost.h"
#include "CPosStatic.h"
#include "CSkinButton.h"
#include "FontHeight.h"
#include "InterfaceUpdateDlg.h"
#include "ProgramFolder.h"
#include "ScrollPanel.h"
#include "SkinLook.h"

namespace cx {

namespace {
constexpr int maxListed = 64;
constexpr int bottomBand = 32;
}  // namespace

CInterface::CInterface(ActiveSkin& skin, std::filesystem::path programFolder, QWidget* parent)
    : SkinDialog(parent, GradientDirection::LeftToRight), skin_(skin), programFolder_(std::move(programFolder))
{
    setObjectName(QStringLiteral("interfaceChooser"));
    setWindowTitle(QStringLiteral("Interface"));
    setFixedSize(480, 470);

    refreshList();

    const SkinPoint at = SkinLook::instance().info().buttonPoints.at(ButtonPoint::chooserClose);
    auto* download = new CSkinButton(this);
    download->setObjectName(QStringLiteral("interface"));
    download->setText(QStringLiteral("Interface"));
    download->resize(110, 30);
    download->setBitmap("update.bmp");
    download->placeAt(at.x - 150, at.y);
    connect(download, &QPushButton::clicked, this, [this] {
        InterfaceUpdateDlg updater(programFolder_, this);
        updater.refreshChooser = [this] {
            refreshList();
            update();
        };
        updater.exec();
    });

    auto* close = new CSkinButton(this);
    close->setObjectName(QStringLiteral("close"));
    close->setText(QStringLiteral("Close"));
    close->resize(110, 30);
    close->setBitmap("close.bmp");
    close->placeAt(at.x, at.y);
    connect(close, &QPushButton::clicked, this, [this] { done(2); });
}

void CInterface::refreshList()
{
    const auto folder = resolveNoCase(programFolder_, "Interface");
    std::vector<std::filesystem::path> packages;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
        if (entry.path().extension() == ".int") packages.push_back(entry.path());

    delete panel_;
    listed_.clear();
    auto* panel = new ScrollPanel(this);
    panel_ = panel;
    panel->setObjectName(QStringLiteral("packagePanel"));
    panel->setGeometry(0, 0, width(), height() - bottomBand);
    panel->setContentHeight(48 * static_cast<int>(packages.size()) + 48);

    const uint16_t tag = skin_.package() ? skin_.package()->formatTag() : 0;
    const bool ownerDrawn = SkinLook::instance().backgroundImageEnabled();
    QFont rowFont(QStringLiteral("DejaVu Sans"));
    rowFont.setPixelSize(fontPixelSize(16));
    for (const auto& file : packages) {
        if (static_cast<int>(listed_.size()) >= maxListed) break;
        if (readFormatTag(file) != tag) continue;
        const int k = static_cast<int>(listed_.size());
        listed_.push_back(file.filename().string());
        const std::string stem = file.filename().string().substr(0, file.filename().string().find('.'));
        const int y = 20 + 30 * k;
        const int rowHeight = k == 0 ? 30 : 50;

        auto* name = new CPosStatic(LabelRole::Other, panel->content());
        name->setObjectName(QStringLiteral("packageName%1").arg(k));
        name->setPaintsBackground(false);
        name->setFont(rowFont);
        name->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        name->setContentsMargins(0, 6, 0, 0);  // level with the button's text
        name->setText(QString::fromStdString(stem));
        name->setGeometry(70, y, 80, rowHeight);

        auto* button = new CSkinButton(panel->content());
        button->setObjectName(QStringLiteral("package%1").arg(1000 + k));
        button->setText(QString::fromStdString(stem));
        button->setGeometry(170, y, 100, rowHeight);
        button->setBitmap("select.bmp");
        button->setOwnerDrawn(ownerDrawn);
        if (!ownerDrawn) button->resize(100, 30);
        connect(button, &QPushButton::clicked, this, [this, k] { applyPackage(k); });
    }
    panel->lower();  // a new list stays below the buttons
    panel->show();
}

void CInterface::applyPackage(int k)
{
    if (k < 0 || k >= static_cast<int>(listed_.size())) return;
    auto* main = dynamic_cast<MainWindowHost*>(parentWidget() ? parentWidget()->window() : nullptr);
    if (main != nullptr) {
        const auto file = resolveNoCase(programFolder_, "Interface") / listed_[static_cast<size_t>(k)];
        if (skin_.open(file)) {
            skin_.parseDescription(programFolder_);
            main->skinChanged();
        }
    }
    done(1);
}

}  // namespace cx
