#include "ModelButton.h"

#include <QPainter>

#include "FontHeight.h"
#include "ProgramBitmaps.h"
#include "SkinArt.h"
#include "SkinLook.h"

namespace cx {

ModelButton::ModelButton(const QString& model, int id, QWidget* parent) : OwnerDrawButton(parent), id_(id)
{
    setText(model);
    const QImage normal = programBitmap(167);
    resize(normal.isNull() ? QSize(112, 35) : normal.size());
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(fontPixelSize(13));
    f.setBold(true);
    setFont(f);
}

void ModelButton::paintOwnerDrawn(QPainter& p)
{
    const QImage face = programBitmap(pushedLook() ? 166 : 167);
    if (!face.isNull()) p.drawImage(rect(), face);
    p.setPen(art::fromSkinColour(SkinLook::instance().info().labelText));
    p.drawText(rect(), Qt::AlignCenter, text());
}

}  // namespace cx
