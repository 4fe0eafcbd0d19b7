#include "CFilesTreeView.h"

#include <algorithm>
#include <tuple>
#include <vector>

#include "ProgramFolder.h"
#include "RecordingKinds.h"
#include "RecordingTime.h"

namespace cx {

namespace {

// Newest first: by the time in the name, names that are no recording
// names last, in name order.
bool newerFirst(const std::string& a, const std::string& b)
{
    const auto sa = parseRecordingName(a);
    const auto sb = parseRecordingName(b);
    if (sa && sb) {
        const auto key = [](const RecordingStart& s) {
            return std::tie(s.year, s.month, s.day, s.hour, s.minute, s.second);
        };
        if (key(*sa) != key(*sb)) return key(*sa) > key(*sb);
        return a > b;  // numbered variants of one second: the later variant first
    }
    if (sa || sb) return static_cast<bool>(sa);
    return a < b;
}

}  // namespace

CFilesTreeView::CFilesTreeView(std::filesystem::path programFolder, QWidget* parent)
    : QTreeWidget(parent), programFolder_(std::move(programFolder))
{
    setObjectName(QStringLiteral("filesTree"));  // 1199
    setHeaderHidden(true);
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CFilesTreeView::selectionChanged);
    refill();
}

void CFilesTreeView::refill()
{
    clear();
    namespace fs = std::filesystem;
    std::error_code ec;
    std::vector<std::string> cameras;
    for (const auto& entry : fs::directory_iterator(resolveNoCase(programFolder_, "video"), ec))
        if (entry.is_directory(ec)) cameras.push_back(entry.path().filename().string());
    std::sort(cameras.begin(), cameras.end());
    for (const std::string& camera : cameras) {
        auto* folder = new QTreeWidgetItem(this, {QString::fromStdString(camera)});
        std::vector<std::string> files;
        for (const auto& entry : fs::directory_iterator(resolveNoCase(programFolder_, "video") / camera, ec))
            if (entry.is_regular_file(ec) && recordingKind(entry.path())) files.push_back(entry.path().filename().string());
        std::sort(files.begin(), files.end(), newerFirst);
        for (const std::string& file : files) new QTreeWidgetItem(folder, {QString::fromStdString(file)});
    }
}

void CFilesTreeView::selectionChanged()
{
    const QTreeWidgetItem* item = currentItem();
    // A camera folder (or nothing) selected: the player stays as it is.
    if (item == nullptr || item->parent() == nullptr) return;
    emit recordingSelected(QStringLiteral("./video/") + item->parent()->text(0) + QStringLiteral("/") + item->text(0));
}

}  // namespace cx
