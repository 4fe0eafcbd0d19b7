#pragma once
// "Download More Interfaces": fetches the server's package list twice,
// then every listed package the Interface folder lacks, in list order,
// and asks the chooser to list the packages again. The transfers run on
// the download job's thread; the dialog shows their steps and progress as
// they come and stays responsive. One run at a time; closing the dialog
// cancels the run.

#include <QString>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "SkinDialog.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace cx {

class SkinDownloadJob;

class InterfaceUpdateDlg : public SkinDialog {
    Q_OBJECT
public:
    InterfaceUpdateDlg(std::filesystem::path programFolder, QWidget* parent = nullptr);
    // Cancels a run still going and waits for its thread (well under a second).
    ~InterfaceUpdateDlg() override;

    // What "Get Updates..." does: starts a run and returns at once; nothing
    // while a run is going on.
    void getUpdates();
    // A run is going on (from its start to its end reaching this thread).
    bool downloading() const { return downloading_; }
    // The transfers (tests watch the run through it).
    SkinDownloadJob& job() { return *job_; }

    // Called after packages were downloaded (the chooser lists them again).
    std::function<void()> refreshChooser;

    QString statusText() const;
    int stepCounter() const { return step_; }
    const std::vector<std::string>& pending() const { return pending_; }

    // Closing, by any way, cancels the run.
    void done(int result) override;

private:
    void setStatus(const QString& text);
    void downloadProgress();
    void runFinished(int outcome);

    std::filesystem::path programFolder_;
    std::unique_ptr<SkinDownloadJob> job_;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* getUpdates_ = nullptr;
    QString current_;  // what the status line shows while a download runs
    bool downloading_ = false;
    int step_ = 0;
    std::vector<std::string> pending_;
};

}  // namespace cx
