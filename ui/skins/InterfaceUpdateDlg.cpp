#include "InterfaceUpdateDlg.h"

#include <QLabel>
#include <QProgressBar>

#include "ButtonPoints.h"
#include "CSkinButton.h"
#include "FontHeight.h"
#include "SkinDownloadJob.h"
#include "SkinLook.h"

namespace cx {

InterfaceUpdateDlg::InterfaceUpdateDlg(std::filesystem::path programFolder, QWidget* parent)
    : SkinDialog(parent), programFolder_(std::move(programFolder)),
      job_(std::make_unique<SkinDownloadJob>(programFolder_))
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
    getUpdates_ = makeSkinButton(this, QStringLiteral("getUpdates"), QStringLiteral("Get Updates..."), "update.bmp", QPoint(points.at(ButtonPoint::downloadSecond).x, points.at(ButtonPoint::downloadSecond).y));  // 1187
    connect(getUpdates_, &QPushButton::clicked, this, &InterfaceUpdateDlg::getUpdates);
    auto* close = makeSkinButton(this, QStringLiteral("close"), QStringLiteral("Close"), "close.bmp", QPoint(points.at(ButtonPoint::downloadFirst).x, points.at(ButtonPoint::downloadFirst).y));  // 1113
    connect(close, &QPushButton::clicked, this, [this] { done(2); });

    // The job emits on its own thread; every handler runs here.
    SkinDownloadJob* job = job_.get();
    connect(job, &SkinDownloadJob::stepStarted, this, [this](const QString& status, int step) {
        progress_->setValue(0);
        setStatus(status);
        step_ = step;
    }, Qt::QueuedConnection);
    connect(job, &SkinDownloadJob::progressed, this, &InterfaceUpdateDlg::downloadProgress, Qt::QueuedConnection);
    connect(job, &SkinDownloadJob::stepEnded, this, [this](int step) { step_ = step; }, Qt::QueuedConnection);
    connect(job, &SkinDownloadJob::pendingListed, this, [this](const QStringList& names) {
        progress_->setValue(0);
        pending_.clear();
        for (const QString& name : names) pending_.push_back(name.toStdString());
    }, Qt::QueuedConnection);
    connect(job, &SkinDownloadJob::finished, this, &InterfaceUpdateDlg::runFinished, Qt::QueuedConnection);

    setStatus(QStringLiteral("Download more Interfaces..."));
}

InterfaceUpdateDlg::~InterfaceUpdateDlg()
{
    // Before any part of the dialog goes: the run's signals name it.
    job_.reset();
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
}

void InterfaceUpdateDlg::getUpdates()
{
    if (downloading_ || !job_->start()) return;
    downloading_ = true;
    getUpdates_->setEnabled(false);
    step_ = 0;
    pending_.clear();
}

void InterfaceUpdateDlg::runFinished(int outcome)
{
    downloading_ = false;
    getUpdates_->setEnabled(true);
    switch (outcome) {
    case SkinDownloadJob::nothingNew:
        setStatus(QStringLiteral("No New Interface on Server"));
        done(1);
        break;
    case SkinDownloadJob::packagesFetched:
        if (refreshChooser) refreshChooser();
        done(1);
        break;
    default:
        break;  // cancelled: the dialog is closing already
    }
}

void InterfaceUpdateDlg::done(int result)
{
    job_->cancel();
    SkinDialog::done(result);
}

}  // namespace cx
