#include "InterfaceUpdateDlg.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include <fstream>
#include <sstream>

#include "ButtonPoints.h"
#include "CSkinButton.h"
#include "FileDownload.h"
#include "FontHeight.h"
#include "InterfaceList.h"
#include "InterfacePackage.h"
#include "ProgramFolder.h"
#include "SkinLook.h"
#include "UpdateServer.h"

namespace cx {

InterfaceUpdateDlg::InterfaceUpdateDlg(std::filesystem::path programFolder, QWidget* parent)
    : SkinDialog(parent), programFolder_(std::move(programFolder)), base_(updateServerBase(programFolder_))
{
    setObjectName(QStringLiteral("interfaceUpdater"));
    setWindowTitle(QStringLiteral("Interface"));
    setFixedSize(440, 310);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixelSize(15));

    status_ = new QLabel(QStringLiteral("Download More Interfaces..."), this);
    status_->setObjectName(QStringLiteral("status"));  // 1189
    status_->setFont(font);
    status_->setGeometry(20, 40, 400, 60);
    status_->setWordWrap(true);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));  // 1188
    progress_->setGeometry(20, 130, 400, 24);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);

    const auto& points = SkinLook::instance().info().buttonPoints;
    auto* get = makeSkinButton(this, QStringLiteral("getUpdates"), QStringLiteral("Get Updates..."), "update.bmp", QPoint(points.at(ButtonPoint::downloadSecond).x, points.at(ButtonPoint::downloadSecond).y));  // 1187
    connect(get, &QPushButton::clicked, this, &InterfaceUpdateDlg::getUpdates);
    auto* close = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", QPoint(points.at(ButtonPoint::downloadFirst).x, points.at(ButtonPoint::downloadFirst).y));  // 1113
    connect(close, &QPushButton::clicked, this, [this] { done(2); });

    setStatus(QStringLiteral("Download more Interfaces..."));
}

QString InterfaceUpdateDlg::statusText() const
{
    return status_->text();
}

void InterfaceUpdateDlg::setStatus(const QString& text)
{
    current_ = text;
    status_->setText(text);
}

void InterfaceUpdateDlg::downloadProgress()
{
    progress_->setValue(std::min(progress_->value() + 1, progress_->maximum()));
    status_->setText(current_);
    QCoreApplication::processEvents();
}

bool InterfaceUpdateDlg::download(const std::string& url, const std::filesystem::path& target, bool package)
{
    DownloadHooks hooks;
    hooks.progress = [this] { downloadProgress(); };
    // A package stays only when it opens as one.
    if (package)
        hooks.accept = [](const std::filesystem::path& file) { return InterfacePackage::open(file).has_value(); };
    return downloadFile(url, target, hooks);
}

void InterfaceUpdateDlg::getUpdates()
{
    step_ = 0;
    index_ = 0;
    pending_.clear();

    // The list, fetched twice; a failed fetch leaves the older list in place.
    const std::filesystem::path list = programFolder_ / interfaceListName;
    for (int pass = 0; pass < 2; ++pass) {
        progress_->setValue(0);
        setStatus(QStringLiteral("Downloading New Interfaces..."));
        download(base_ + interfaceListName, list, false);
        ++step_;
    }

    progress_->setValue(0);
    std::ifstream in(list, std::ios::binary);
    if (in) {
        std::stringstream text;
        text << in.rdbuf();
        pending_ = missingPackages(readInterfaceList(text.str()), resolveNoCase(programFolder_, "Interface"));
    }
    if (pending_.empty()) {
        setStatus(QStringLiteral("No New Interface on Server"));
        done(1);
        return;
    }

    const std::filesystem::path folder = resolveNoCase(programFolder_, "Interface");
    for (index_ = 0; index_ < static_cast<int>(pending_.size()); ++index_) {
        const std::string& name = pending_[static_cast<size_t>(index_)];
        progress_->setValue(0);
        setStatus(QStringLiteral("Downloading Interface '%1'...").arg(QString::fromStdString(name.substr(0, name.find('.')))));
        ++step_;
        // A failed package stays missing; the next run lists it again.
        download(base_ + name, folder / name, true);
        ++step_;
    }
    if (refreshChooser) refreshChooser();
    done(1);
}

}  // namespace cx
