#pragma once
// The controls of the "Replay" dialog laid out from its template (dialog
// units scaled to pixels): the picture area, the transport buttons, the
// position slider (by time from the first frame) and the frame's time of
// day, driving a ReplayPlayer. A time that is estimated rather than
// recorded says so.

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

#include "ReplayPlayer.h"

class QLabel;
class QSlider;

namespace cx {

// Pixels per dialog unit of the template.
inline constexpr double replayUnit = 2.2;

class ReplayControls : public QWidget {
    Q_OBJECT
public:
    explicit ReplayControls(QWidget* parent = nullptr);
    ~ReplayControls() override;

    // Plays `path` from its first frame (relative paths from the current folder).
    void openRecording(const QString& path);
    ReplayPlayer& player() { return *player_; }
    int frames() const { return frames_; }
    int shownIndex() const { return shown_; }
    // How long the open recording lasts, from its first frame to its last.
    qint64 durationMs() const { return durationMs_; }
    // What the picture area shows now (scaled to it).
    const QImage& shownPicture() const { return picture_; }

    // Speeds of the transport buttons, times the recorded pace.
    static constexpr double fastSpeed = 4.0, slowSpeed = 0.25;
    // Marks a time of day that was not recorded but worked out.
    static constexpr const char* estimatedMark = " (estimated)";

    // "Select File..." offers every kind of recording replay reads.
    static QString recordingFileFilter();

    // Lets a window around it close with "Close".
    std::function<void()> closeRequested;

signals:
    void frameShown(int index);

private:
    void showFrame(const ShownFrame& frame, const QImage& picture);
    void selectFile();

    ReplayPlayer* player_;
    QLabel* picture_area_ = nullptr;
    QLabel* time_ = nullptr;
    QSlider* slider_ = nullptr;
    QImage frame_;
    QImage picture_;
    int frames_ = 0;
    int shown_ = -1;
    qint64 durationMs_ = 0;
};

}  // namespace cx
