#include "ReplayControls.h"

#include <algorithm>
#include <limits>

#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "CHoverButton.h"
#include "FontHeight.h"
#include "RecordingKinds.h"
#include "RecordingTime.h"
#include "ReplayPlayer.h"

namespace cx {

namespace {

QRect units(int left, int top, int width, int height)
{
    return QRect(static_cast<int>(left * replayUnit), static_cast<int>(top * replayUnit),
                 static_cast<int>(width * replayUnit), static_cast<int>(height * replayUnit));
}

}  // namespace

ReplayControls::ReplayControls(QWidget* parent) : QWidget(parent), player_(new ReplayPlayer(this))
{
    setObjectName(QStringLiteral("replayControls"));
    setFixedSize(units(0, 0, 295, 142).size());

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(fontPixelSize(14));

    auto* title = new QLabel(QStringLiteral("Replay"), this);
    title->setObjectName(QStringLiteral("replayTitle"));  // 1034
    QFont bold = font;
    bold.setBold(true);
    title->setFont(bold);
    title->setAlignment(Qt::AlignCenter);
    title->setGeometry(units(0, 5, 289, 8).adjusted(0, -4, 0, 4));

    picture_area_ = new QLabel(this);
    picture_area_->setObjectName(QStringLiteral("picture"));  // 1063
    picture_area_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    picture_area_->setAlignment(Qt::AlignCenter);
    picture_area_->setStyleSheet(QStringLiteral("background: black;"));
    picture_area_->setGeometry(units(79, 24, 159, 98));
    // The reader converts and keeps pictures no larger than they are shown.
    player_->setMaxPictureSize(picture_area_->contentsRect().size());

    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("frameTime"));
    time_->setFont(font);
    time_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    time_->setGeometry(units(79, 13, 159, 10));

    struct Entry {
        const char* objectName;
        const char* text;
        int left, top, width, height;
        bool shown;
    };
    const Entry entries[] = {
        {"selectFile", "Select File...", 248, 25, 41, 19, true},                   // 1035
        {"play", "Play", 248, 49, 41, 19, true},                                   // 1071
        {"pause", "Pause", 248, 75, 41, 19, true},                                 // 1070
        {"stop", "Stop", 248, 101, 41, 19, true},                                  // 1072
        {"fastForward", "Fast Forward", 4, 25, 64, 19, true},                      // 1068
        {"fastReverse", "Fast Reverse", 4, 49, 64, 19, true},                      // 1069
        {"slowForward", "Slow Motion Forward", 4, 75, 64, 19, true},               // 1075
        {"slowReverse", "Slow Motion Reverse", 4, 101, 64, 19, true},              // 1076
        {"selectDate", "Select Date", 204, 116, 48, 18, false},                    // 1066
        {"emailFrame", "Email Frame...", 241, 112, 48, 19, false},                 // 1073
        {"close", "Close", 140, 120, 50, 13, true},                                // 1113
    };
    for (const Entry& e : entries) {
        auto* b = new CHoverButton(this);
        b->setObjectName(QString::fromLatin1(e.objectName));
        b->setText(QString::fromLatin1(e.text));
        b->setFont(font);
        b->setGeometry(units(e.left, e.top, e.width, e.height));
        b->setVisible(e.shown);
    }
    auto button = [this](const char* name) { return findChild<CHoverButton*>(QString::fromLatin1(name)); };
    connect(button("selectFile"), &QPushButton::clicked, this, &ReplayControls::selectFile);
    connect(button("play"), &QPushButton::clicked, this, [this] { player_->play(1, 1.0); });
    connect(button("pause"), &QPushButton::clicked, this, [this] { player_->pause(); });
    connect(button("stop"), &QPushButton::clicked, this, [this] { player_->stop(); });
    connect(button("fastForward"), &QPushButton::clicked, this, [this] { player_->play(1, fastSpeed); });
    connect(button("fastReverse"), &QPushButton::clicked, this, [this] { player_->play(-1, fastSpeed); });
    connect(button("slowForward"), &QPushButton::clicked, this, [this] { player_->play(1, slowSpeed); });
    connect(button("slowReverse"), &QPushButton::clicked, this, [this] { player_->play(-1, slowSpeed); });
    connect(button("close"), &QPushButton::clicked, this, [this] {
        if (closeRequested) closeRequested();
    });

    // Shown although the template hides it: the position by time from the
    // first frame (a camera's pauses take their true share); the arrow keys
    // still step frame by frame.
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("position"));  // 1074
    slider_->setGeometry(units(4, 124, 130, 12));
    slider_->setRange(0, 0);
    slider_->setSingleStep(0);
    slider_->setPageStep(10000);
    connect(slider_, &QSlider::actionTriggered, this, [this](int action) {
        if (action == QAbstractSlider::SliderSingleStepAdd) player_->step(1);
        if (action == QAbstractSlider::SliderSingleStepSub) player_->step(-1);
    });
    connect(slider_, &QSlider::valueChanged, this, [this](int offsetMs) { player_->seekTime(offsetMs); });

    connect(player_, &ReplayPlayer::opened, this, [this](int frames, qint64 durationMs, bool) {
        frames_ = frames;
        shown_ = -1;
        durationMs_ = durationMs;
        const QSignalBlocker quiet(slider_);
        slider_->setRange(0, static_cast<int>(std::min<qint64>(durationMs, std::numeric_limits<int>::max())));
        slider_->setValue(0);
        if (frames == 0) {
            picture_area_->clear();
            time_->clear();
        }
    });
    connect(player_, &ReplayPlayer::frameShown, this, &ReplayControls::showFrame);
}

ReplayControls::~ReplayControls() = default;

void ReplayControls::openRecording(const QString& path)
{
    player_->open(path.toStdString());
}

void ReplayControls::showFrame(const ShownFrame& frame, const QImage& picture)
{
    const int index = frame.index;
    shown_ = index;
    frame_ = picture;
    picture_ = picture.isNull() ? QImage()
                                : picture.scaled(picture_area_->contentsRect().size(), Qt::KeepAspectRatio,
                                                 Qt::SmoothTransformation);
    picture_area_->setPixmap(QPixmap::fromImage(picture_));
    {
        const QSignalBlocker quiet(slider_);
        slider_->setValue(static_cast<int>(std::min<qint64>(frame.offsetMs, slider_->maximum())));
    }
    QString when;
    if (frame.timeOfDayKnown) {
        when = QString::fromStdString(localTimeText(frame.wallMs));
        if (frame.estimated) when += QLatin1String(estimatedMark);
    }
    time_->setText(when + QStringLiteral("  %1 / %2").arg(index + 1).arg(frames_));
    emit frameShown(index);
}

QString ReplayControls::recordingFileFilter()
{
    QStringList patterns;
    for (const RecordingExtension& e : recordingExtensions) {
        const QString ending = QString::fromLatin1(e.extension);
        patterns << QLatin1Char('*') + ending << QLatin1Char('*') + ending.toUpper();
    }
    return QStringLiteral("Video (%1)").arg(patterns.join(QLatin1Char(' ')));
}

void ReplayControls::selectFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Select File"), QString(), recordingFileFilter());
    if (!file.isEmpty()) openRecording(file);
}

}  // namespace cx
