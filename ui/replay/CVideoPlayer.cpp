#include "CVideoPlayer.h"

#include "CFilesTreeView.h"
#include "FontHeight.h"
#include "ReplayControls.h"

namespace cx {

namespace {
constexpr int margin = 16, treeWidth = 330;
}  // namespace

CVideoPlayer::CVideoPlayer(std::filesystem::path programFolder, QWidget* parent)
    : SkinDialog(parent), programFolder_(std::move(programFolder)), tree_(new CFilesTreeView(programFolder_, this)),
      controls_(new ReplayControls(this))
{
    setObjectName(QStringLiteral("videoPlayer"));
    setWindowTitle(QStringLiteral("Replay"));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixelSize(14));
    tree_->setFont(font);
    tree_->setGeometry(margin, margin, treeWidth, controls_->height());
    controls_->move(margin * 2 + treeWidth, margin);
    setFixedSize(controls_->geometry().right() + margin, controls_->geometry().bottom() + margin);
    tree_->expandAll();

    connect(tree_, &CFilesTreeView::recordingSelected, this, &CVideoPlayer::playRecording);
    controls_->closeRequested = [this] { done(1); };
}

void CVideoPlayer::playRecording(const QString& path)
{
    // Relative paths are the program folder's.
    const std::filesystem::path file = path.toStdString();
    controls_->openRecording(QString::fromStdString((file.is_relative() ? programFolder_ / file : file).string()));
}

}  // namespace cx
