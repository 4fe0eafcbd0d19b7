#pragma once
// The skin chooser: lists the packages in Interface/ that have the format
// tag of the package in use, and applies the one chosen to the main
// window (its picture, outline, button pictures and status suffix).

#include <filesystem>
#include <vector>

#include "SkinDialog.h"

namespace cx {

class ActiveSkin;

class CInterface : public SkinDialog {
    Q_OBJECT
public:
    CInterface(ActiveSkin& skin, std::filesystem::path programFolder, QWidget* parent = nullptr);

    // File names listed, in the order shown (at most 64).
    const std::vector<std::string>& listed() const { return listed_; }
    // What button 1000 + k does.
    void applyPackage(int k);
    // Lists the packages of Interface/ again (after a download).
    void refreshList();

private:
    ActiveSkin& skin_;
    std::filesystem::path programFolder_;
    std::vector<std::string> listed_;
    class ScrollPanel* panel_ = nullptr;
};

}  // namespace cx
