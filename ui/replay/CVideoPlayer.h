#pragma once
// The replay window: the recordings tree beside the player. Selecting a
// recording in the tree plays it in the picture area.

#include <filesystem>

#include "SkinDialog.h"

namespace cx {

class CFilesTreeView;
class ReplayControls;

class CVideoPlayer : public SkinDialog {
    Q_OBJECT
public:
    CVideoPlayer(std::filesystem::path programFolder, QWidget* parent = nullptr);

    CFilesTreeView& tree() { return *tree_; }
    ReplayControls& controls() { return *controls_; }
    // What a tree selection hands over: a path from the program folder.
    void playRecording(const QString& path);

private:
    std::filesystem::path programFolder_;
    CFilesTreeView* tree_;
    ReplayControls* controls_;
};

}  // namespace cx
