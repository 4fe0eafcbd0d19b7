#pragma once
// The recordings tree: the camera folders below video/ and, under each,
// its recordings of every kind replay reads (RecordingKinds.h), newest
// first. Selecting a recording names its path.

#include <QTreeWidget>

#include <filesystem>

namespace cx {

class CFilesTreeView : public QTreeWidget {
    Q_OBJECT
public:
    CFilesTreeView(std::filesystem::path programFolder, QWidget* parent = nullptr);
    // Reads video/ again.
    void refill();

signals:
    // ./video/<camera folder>/<file>, taken from the program folder.
    void recordingSelected(const QString& path);

private:
    void selectionChanged();
    std::filesystem::path programFolder_;
};

}  // namespace cx
