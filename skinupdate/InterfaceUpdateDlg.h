#pragma once
// "Download More Interfaces": fetches the server's package list twice,
// then every listed package the Interface folder lacks, in list order,
// and asks the chooser to list the packages again. Downloads run on this
// thread; their progress moves the bar and keeps the windows responsive.

#include <QString>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "SkinDialog.h"

class QLabel;
class QProgressBar;

namespace cx {

class InterfaceUpdateDlg : public SkinDialog {
    Q_OBJECT
public:
    InterfaceUpdateDlg(std::filesystem::path programFolder, QWidget* parent = nullptr);

    // What "Get Updates..." does.
    void getUpdates();

    // Called after packages were downloaded (the chooser lists them again).
    std::function<void()> refreshChooser;

    QString statusText() const;
    int stepCounter() const { return step_; }
    const std::vector<std::string>& pending() const { return pending_; }

private:
    void setStatus(const QString& text);
    void downloadProgress();
    bool download(const std::string& url, const std::filesystem::path& target, bool package);

    std::filesystem::path programFolder_;
    std::string base_;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QString current_;  // what the status line shows while a download runs
    int step_ = 0;
    int index_ = 0;
    std::vector<std::string> pending_;
};

}  // namespace cx
