#pragma once
// The updater's transfers on a thread of their own: the server's package
// list twice, then every listed package the Interface folder lacks, in list
// order. What happens reaches the owner as signals, queued to the thread
// the job lives on; the job never waits for that thread. A cancel ends the
// transfer under way within one wait slice, and the run with it.

#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace cx {

class SkinDownloadJob final : public QObject {
    Q_OBJECT
public:
    enum Outcome { nothingNew = 0, packagesFetched = 1, cancelled = 2 };

    explicit SkinDownloadJob(std::filesystem::path programFolder, QObject* parent = nullptr);
    // Cancels a run and waits for its thread (one wait slice, plus the
    // removal of its temporary file).
    ~SkinDownloadJob() override;

    // Starts a run; false, and nothing started, while one runs.
    bool start();
    // Asks the run to end; returns at once. finished(cancelled) follows.
    void cancel();
    bool running() const { return running_.load(); }

signals:
    // A download begins: the progress goes back to 0, `status` is shown,
    // and the step counter is at `step`.
    void stepStarted(const QString& status, int step);
    // The transfer under way moved (at most one every progressInterval).
    void progressed();
    // A download ended, well or not; the step counter is at `step`.
    void stepEnded(int step);
    // The listed packages the Interface folder lacks, in list order.
    void pendingListed(const QStringList& names);
    // The run is over (an Outcome value); the last signal of a run.
    void finished(int outcome);

private:
    void run();
    bool download(const std::string& url, const std::filesystem::path& target, bool package);

    static constexpr std::chrono::milliseconds progressInterval{50};

    const std::filesystem::path programFolder_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> running_{false};
    int step_ = 0;  // the run's thread
    std::chrono::steady_clock::time_point lastProgress_;  // the run's thread
    std::thread thread_;  // owner's thread
};

}  // namespace cx
