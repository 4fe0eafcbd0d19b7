#include "SkinDownloadJob.h"

#include <fstream>
#include <sstream>

#include "FileDownload.h"
#include "InterfaceList.h"
#include "InterfacePackage.h"
#include "ProgramFolder.h"
#include "UpdateServer.h"

namespace cx {

SkinDownloadJob::SkinDownloadJob(std::filesystem::path programFolder, QObject* parent)
    : QObject(parent), programFolder_(std::move(programFolder))
{
}

SkinDownloadJob::~SkinDownloadJob()
{
    cancel();
    if (thread_.joinable()) thread_.join();
}

bool SkinDownloadJob::start()
{
    if (running_.load()) return false;
    // The last run has ended: only its return is left to wait for.
    if (thread_.joinable()) thread_.join();
    cancel_ = false;
    running_ = true;
    thread_ = std::thread([this] { run(); });
    return true;
}

void SkinDownloadJob::cancel()
{
    cancel_ = true;
}

bool SkinDownloadJob::download(const std::string& url, const std::filesystem::path& target, bool package)
{
    DownloadHooks hooks;
    lastProgress_ = {};
    // Progress reports come many times a second; the bar needs a few.
    hooks.progress = [this] {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastProgress_ < progressInterval) return;
        lastProgress_ = now;
        emit progressed();
    };
    hooks.cancelled = [this] { return cancel_.load(); };
    // A package stays only when it opens as one.
    if (package)
        hooks.accept = [](const std::filesystem::path& file) { return InterfacePackage::open(file).has_value(); };
    return downloadFile(url, target, hooks);
}

void SkinDownloadJob::run()
{
    int outcome = cancelled;
    step_ = 0;
    [&] {
        const std::string base = updateServerBase(programFolder_);
        // The list, fetched twice; a failed fetch leaves the older list in place.
        const std::filesystem::path list = programFolder_ / interfaceListName;
        for (int pass = 0; pass < 2; ++pass) {
            if (cancel_) return;
            emit stepStarted(QStringLiteral("Downloading New Interfaces..."), step_);
            download(base + interfaceListName, list, false);
            emit stepEnded(++step_);
        }
        if (cancel_) return;

        std::vector<std::string> pending;
        const std::filesystem::path folder = resolveNoCase(programFolder_, "Interface");
        std::ifstream in(list, std::ios::binary);
        if (in) {
            std::stringstream text;
            text << in.rdbuf();
            pending = missingPackages(readInterfaceList(text.str()), folder);
        }
        QStringList names;
        for (const auto& name : pending) names.push_back(QString::fromStdString(name));
        emit pendingListed(names);
        if (pending.empty()) {
            outcome = nothingNew;
            return;
        }

        for (const std::string& name : pending) {
            if (cancel_) return;
            ++step_;
            emit stepStarted(
                QStringLiteral("Downloading Interface '%1'...").arg(QString::fromStdString(name.substr(0, name.find('.')))),
                step_);
            // A failed package stays missing; the next run lists it again.
            download(base + name, folder / name, true);
            emit stepEnded(++step_);
        }
        outcome = cancel_ ? cancelled : packagesFetched;
    }();
    // Cleared before the last signal: an owner told the run is over may start the next.
    running_ = false;
    emit finished(outcome);
}

}  // namespace cx
