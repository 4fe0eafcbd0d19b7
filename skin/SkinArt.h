#pragma once
// Drawing of Corvanex's own pictures: the default skin's background and
// buttons (written into default.int at build time) and the program's
// built-in bitmaps, so both share one look. Needs a QGuiApplication for
// text.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

#include "InterfaceInfo.h"

namespace cx::art {

// The default look: dark slate surfaces, a cyan accent, red for recording.
namespace palette {
inline const QColor key{255, 0, 255};          // colour-keyed transparency
inline const QColor body{13, 20, 30};
inline const QColor header{20, 32, 48};
inline const QColor panel{18, 28, 41};
inline const QColor panelBorder{40, 56, 76};
inline const QColor well{7, 11, 17};
inline const QColor field{10, 17, 25};
inline const QColor buttonTop{36, 51, 72};
inline const QColor buttonBottom{25, 37, 54};
inline const QColor buttonBorder{55, 74, 99};
inline const QColor accent{34, 190, 220};
inline const QColor danger{229, 72, 77};
inline const QColor ok{70, 200, 120};
inline const QColor text{230, 237, 245};
inline const QColor mutedText{128, 148, 172};
}  // namespace palette

enum class Icon {
    None, About, Exit, Cameras, Monitor, Options, AddCamera, Snapshot, Adjust, Record, Replay, Sound, Website,
    Interface, Update, Close, Select, Save, Properties, RemoveCamera, Shield
};
enum class Tone { Normal, Danger, Accent };

// Vector icon inside `box`, stroked in `colour`.
void drawIcon(QPainter& p, const QRectF& box, Icon icon, const QColor& colour);

// A labelled button with an icon on `surround`, everything outside its
// rounded face set to the key colour (pixel (0, 0) is key).
QImage skinButton(QSize size, const QString& label, Icon icon, Tone tone, const QColor& surround);

// Plain button face without text (tools and model buttons of the program).
QImage buttonFace(QSize size, bool pressed);

// The main window picture for the rectangles and points of `info`.
QImage mainBackground(QSize size, const InterfaceInfo& info);

// Seamless tile for dialog backgrounds.
QImage backgroundTile();

// Shield logo with the product name.
QImage productLogo(QSize size, bool withName);

QColor fromSkinColour(uint32_t bbggrr);

}  // namespace cx::art
