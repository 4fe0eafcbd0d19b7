#include "CMonitorDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <ctime>
#include <filesystem>
#include <iomanip>
#include <sstream>

#include "AboutDialog.h"
#include "ActiveSkin.h"
#include "ButtonOutline.h"
#include "CAddCameraDlg.h"
#include "CCameraListDlg.h"
#include "CInterface.h"
#include "CMonitoring.h"
#include "CPosStatic.h"
#include "CRecording.h"
#include "CSkinButton.h"
#include "CStartupDlg.h"
#include "CToolsDialog.h"
#include "CVideoPlayer.h"
#include "CameraGrid.h"
#include "Engine.h"
#include "FontHeight.h"
#include "GridShape.h"
#include "MainButtons.h"
#include "MessageBoxNotifier.h"
#include "OptionsDialog.h"
#include "ProgramBitmaps.h"
#include "SkinArt.h"
#include "SkinLook.h"
#include "SystemTrayHost.h"
#include "TrayMonitor.h"
#include "WebsiteWindow.h"

namespace cx {

namespace {

QRect toRect(const SkinRect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right - 1, r.bottom - 1));
}

QString localDateLine()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    // English names whatever the desktop's language, as the format reads.
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::put_time(&local, "%A, %B %d, %Y");
    return QString::fromStdString(out.str());
}

QString localClock()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return QString::fromLatin1(text);
}

}  // namespace

CMonitorDlg::CMonitorDlg(Engine& engine, ActiveSkin& skin, MonitorOptions options, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::FramelessWindowHint), engine_(engine), skin_(skin)
{
    setObjectName(QStringLiteral("mainWindow"));
    timer1_.setInterval(500);
    connect(&timer1_, &QTimer::timeout, this, &CMonitorDlg::timerTick);
    timer1_.start();
    connect(&engine_, &Engine::message, this, &CMonitorDlg::showMessage);
    connect(&engine_, &Engine::mainWindowEndRequested, this, &CMonitorDlg::endRequested);
    connect(&engine_, &Engine::snapshotChanged, this, &CMonitorDlg::snapshotChanged);
    // Free-space retention deleted a recording: the status line says which,
    // until the text is next rebuilt.
    connect(&engine_, &Engine::recordingDeleted, this, [this](const QString& file) {
        buildStatusText();
        const std::string name = std::filesystem::path(file.toStdString()).filename().string();
        marquee_.setText(marquee_.text() + "...Deleted old recording " + name + " to keep disk space free. ");
    });

    const InterfaceInfo& info = skin_.info();
    suffix_ = skin_.statusSuffix().value_or(engine_.snapshot()->statusText);

    // 1, 2: status text, title.
    buildStatusText();
    setWindowTitle(QStringLiteral("Corvanex"));

    // 3: the cameras.
    const int cameras = engine_.loadCameraTable();

    // 4: buttons and grid.
    for (const MainButtonEntry& entry : mainButtons) {
        auto* b = new CSkinButton(this);
        b->setObjectName(QString::fromLatin1(entry.objectName));
        b->setText(QString::fromLatin1(entry.text));
        b->resize(156, 38);
        connect(b, &QPushButton::clicked, this, [this, id = entry.id] { runButtonAction(id); });
        buttons_[entry.id] = b;
    }
    reloadButtonBitmaps();
    grid_ = new CameraGrid(engine_, this);
    grid_->mainWindowActive = [this] {
        const QWidget* active = QApplication::activeWindow();
        const QWidget* modal = QApplication::activeModalWidget();
        return active == this || (active == nullptr && (modal == nullptr || modal == this));
    };
    computeGridShape(cameras, grid_->shape());
    grid_->rebuild(toRect(info.viewArea));

    // 5: picture and outline.
    reshapeFromPackage();

    // 6: the texts.
    clock_ = new CPosStatic(LabelRole::Clock, this);
    clock_->setObjectName(QStringLiteral("clock"));
    clock_->setPaintsBackground(false);
    clock_->setGeometry(toRect(info.clockRect));
    clock_->setAlignment(Qt::AlignCenter);
    QFont bold(QStringLiteral("DejaVu Sans"));
    bold.setPixelSize(fontPixelSize(18));
    bold.setWeight(QFont::Bold);
    clock_->setFont(bold);

    QFont lineFont(QStringLiteral("DejaVu Sans"));
    lineFont.setPixelSize(fontPixelSize(16));
    date_ = new CPosStatic(LabelRole::DateOrStatus, this);
    date_->setObjectName(QStringLiteral("dateLine"));
    date_->setPaintsBackground(false);
    date_->setGeometry(toRect(info.dateRect));
    date_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    date_->setFont(lineFont);
    date_->setText(localDateLine());

    status_ = new CPosStatic(LabelRole::DateOrStatus, this);
    status_->setObjectName(QStringLiteral("statusLine"));
    status_->setPaintsBackground(false);
    status_->setGeometry(toRect(info.statusRect));
    status_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Fixed pitch, so the text moves by whole characters.
    QFont statusFont(QStringLiteral("DejaVu Sans Mono"));
    statusFont.setPixelSize(fontPixelSize(16));
    status_->setFont(statusFont);

    hostName_ = new CPosStatic(LabelRole::Other, this);
    hostName_->setObjectName(QStringLiteral("hostName"));
    hostName_->resize(200, 20);
    hostName_->placeByRule(0, width(), height(), 1, 7);
    hostName_->hide();

    // 7: buttons at their points.
    for (const MainButtonEntry& entry : mainButtons) {
        CSkinButton* b = buttons_[entry.id];
        if (entry.point >= 0) {
            const SkinPoint at = info.buttonPoints.at(entry.point);
            b->placeAt(at.x, at.y);
        }
    }
    buttons_[MainButton::sound]->hide();
    buttons_[MainButton::updateSoftware]->hide();
    buttons_[MainButton::toolBox]->hide();

    // 8: the exit text.
    showExitText();

    useTrayHost(std::make_unique<SystemTrayHost>());

    // 9: icon.
    setWindowIcon(QIcon(QPixmap::fromImage(programBitmap(156))));

    // 10: the progress window, which connects the cameras.
    if (options.startupWindow) {
        startup_ = new CStartupDlg(cameras, this);
        startup_->hostNameReady = [this](const QString& host) { hostName_->setText(host); };
        startup_->connectCameras = [this] {
            engine_.connectAllCameras();
            startup_ = nullptr;
        };
        startup_->show();
    }
}

CMonitorDlg::~CMonitorDlg()
{
    engine_.stopAudio();
}

bool CMonitorDlg::anyRecording() const
{
    return engine_.snapshot()->recordingCount() > 0;
}

void CMonitorDlg::useTrayHost(std::unique_ptr<TrayHost> host)
{
    tray_ = std::make_unique<TrayMonitor>(engine_, *this, std::move(host));
    tray_->endMainWindow = [this] {
        ending_ = true;
        done(1);
    };
}

void CMonitorDlg::showExitText()
{
    buttons_[MainButton::exit]->setText(anyRecording() ? QStringLiteral("Exit Corvanex and Continue recording")
                                                       : QStringLiteral("Exit Corvanex"));
}

void CMonitorDlg::buildStatusText()
{
    const auto snapshot = engine_.snapshot();
    shownCameras_ = snapshot->cameraCount();
    shownRecording_ = snapshot->recordingCount();
    marquee_.setText(cx::buildStatusText(shownCameras_, shownRecording_, suffix_));
}

void CMonitorDlg::snapshotChanged()
{
    const auto snapshot = engine_.snapshot();
    if (snapshot->cameraCount() == shownCameras_ && snapshot->recordingCount() == shownRecording_) return;
    buildStatusText();
    if (buttons_.count(MainButton::exit) != 0) showExitText();
}

void CMonitorDlg::equalLayout()
{
    grid_->equalLayout();
}

void CMonitorDlg::skinChanged()
{
    if (const auto suffix = skin_.statusSuffix()) suffix_ = *suffix;
    buildStatusText();
    reshapeFromPackage();
    reloadButtonBitmaps();
}

void CMonitorDlg::reshapeFromPackage()
{
    background_ = skin_.bitmap("background.bmp");
    if (background_.isNull()) {
        clearMask();
        update();
        return;
    }
    background_ = background_.convertToFormat(QImage::Format_RGB32);
    const QRegion outline = keyedOutline(background_, keyColourOf(background_));
    setFixedSize(background_.width() - 1, background_.height() - 1);
    setMask(outline);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    update();
}

void CMonitorDlg::reloadButtonBitmaps()
{
    for (const MainButtonEntry& entry : mainButtons)
        if (entry.bitmap != nullptr) buttons_[entry.id]->setBitmap(entry.bitmap);
}

bool CMonitorDlg::rebuildGridFor(int cameras)
{
    GridShape shape = grid_->builtShape();
    if (!computeGridShape(cameras, shape)) return false;
    if (!(shape == grid_->builtShape())) {
        grid_->shape() = shape;
        grid_->rebuild(toRect(skin_.info().viewArea));
    }
    buildStatusText();
    return true;
}

CSkinButton* CMonitorDlg::button(int id) const
{
    const auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

void CMonitorDlg::runButtonAction(int id)
{
    switch (id) {
    case MainButton::exit:
        exitClicked();
        break;
    case MainButton::about: {
        AboutDialog about(this);
        about.exec();
        break;
    }
    case MainButton::monitor: {
        CMonitoring monitoring(engine_, this);
        monitoring.exec();
        break;
    }
    case MainButton::options: {
        OptionsDialog options(engine_, this);
        options.exec();
        break;
    }
    case MainButton::snapshot:
        engine_.requestSnapshot(-1);
        break;
    case MainButton::adjustLayout:
        grid_->equalLayout();
        break;
    case MainButton::record: {
        CRecording recording(engine_, this);
        recording.recordingSwitched = [this] {
            buildStatusText();
            showExitText();
        };
        recording.exec();
        showExitText();
        break;
    }
    case MainButton::cameras: {
        CCameraListDlg list(engine_, this, this);
        list.exec();
        break;
    }
    case MainButton::addCamera:
        if (engine_.snapshot()->cameraCount() < maxCameras) {
            CAddCameraDlg add(engine_, this, 0, QStringLiteral("0"), this);
            add.exec();
        }
        break;
    case MainButton::replay: {
        CVideoPlayer player(engine_.programFolder(), this);
        player.exec();
        break;
    }
    case MainButton::sound:
        // The reading runs on a thread of its own; this returns at once.
        engine_.startAudio(1);
        break;
    case MainButton::toolBox: {
        CToolsDialog tools(*this);
        tools.exec();
        break;
    }
    case MainButton::interface: {
        CInterface chooser(skin_, engine_.programFolder(), this);
        chooser.exec();
        break;
    }
    case MainButton::website: {
        WebsiteWindow website(this);
        website.exec();
        break;
    }
    default:
        // Update Software stays hidden, as the template has it.
        break;
    }
}

void CMonitorDlg::exitClicked()
{
    // Recordings go on from the notification area; without one the window
    // stays, since hiding it would leave no way back.
    if (anyRecording()) {
        tray_->enter();
        return;
    }
    // Every worker ends at its next frame; the schedule tick then ends this
    // window within a second.
    engine_.requestStopAll();
}

void CMonitorDlg::endRequested()
{
    const QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != this) return;  // a dialog of ours is open
    ending_ = true;
    engine_.stopAudio();
    done(1);
}

void CMonitorDlg::keyPressEvent(QKeyEvent* event)
{
    // F10 is no main button's key; here it opens the tools panel.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::NoModifier) {
        runButtonAction(MainButton::toolBox);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CMonitorDlg::reject()
{
    // Escape and the window manager's close do not end the program; Exit does.
    if (ending_) QDialog::reject();
}

void CMonitorDlg::closeEvent(QCloseEvent* event)
{
    if (ending_)
        QDialog::closeEvent(event);
    else
        event->ignore();
}

void CMonitorDlg::showMessage(const QString& text, const QString& caption, int icon)
{
    // Shown without a nested loop: nobody waits for the user's answer.
    auto* box = new QMessageBox(messageBoxIcon(static_cast<NotifyIcon>(icon)),
                                caption.isEmpty() ? QStringLiteral("Corvanex") : caption, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("messageBox"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void CMonitorDlg::timerTick()
{
    clock_->setFill(art::fromSkinColour(skin_.info().clockBackground));
    clock_->setText(localClock());
    const std::string shown = marquee_.step();
    if (shown.empty()) return;
    status_->setFill(art::fromSkinColour(skin_.info().statusBackground));
    status_->setText(QString::fromStdString(shown));
}

void CMonitorDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (!background_.isNull()) p.drawImage(QPoint(0, 0), background_);
    const QString today = localDateLine();
    if (date_ != nullptr && date_->text() != today) date_->setText(today);
}

void CMonitorDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void CMonitorDlg::mouseMoveEvent(QMouseEvent* event)
{
    for (int id : {MainButton::exit, MainButton::about}) buttons_[id]->setHovered(false);
    if (dragging_ && (event->buttons() & Qt::LeftButton)) move(event->globalPosition().toPoint() - dragOffset_);
}

void CMonitorDlg::mouseReleaseEvent(QMouseEvent*)
{
    dragging_ = false;
}

void CMonitorDlg::updatePicturesWanted()
{
    // Nobody sees the panes of a hidden or minimized window: decode nothing.
    engine_.setPicturesWanted(isVisible() && !isMinimized());
}

void CMonitorDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    updatePicturesWanted();
}

void CMonitorDlg::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    engine_.setPicturesWanted(false);
}

void CMonitorDlg::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) updatePicturesWanted();
}

}  // namespace cx
