#pragma once
// The five pictures of the notification-area icon: frame 0 the normal
// icon, frames 0..4 the animation while the schedule records. Drawn by the
// program, 32 by 32.

#include <QIcon>
#include <QImage>

namespace cx {

inline constexpr int trayFrameCount = 5;

QImage trayIconImage(int frame);  // frame outside 0..4: frame 0
QIcon trayIcon(int frame);

}  // namespace cx
