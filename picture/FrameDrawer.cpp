#include "FrameDrawer.h"

#include <cstdio>

#include <QPainter>

#include "AppState.h"
#include "FontHeight.h"
#include "ImageBlit.h"
#include "PaneBuffer.h"

namespace cx {

namespace {

constexpr int captionHeight = 32;

QColor fromColorRef(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

}  // namespace

namespace {

// Formats the caption into `text`, reusing its storage.
void formatCaption(std::string& text, const std::string& cameraName, float frameRate)
{
    const double rate = frameRate;
    const int n = std::snprintf(nullptr, 0, "%s (%2.1f fps)", cameraName.c_str(), rate);
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    std::snprintf(text.data(), text.size() + 1, "%s (%2.1f fps)", cameraName.c_str(), rate);
}

}  // namespace

std::string captionText(const std::string& cameraName, float frameRate)
{
    std::string text;
    formatCaption(text, cameraName, frameRate);
    return text;
}

const QImage& FrameDrawer::captionImage(SlotCache& cache, int slot, float frameRate, QRgb colour, int width) const
{
    state_.copyCameraName(slot, cache.name);
    formatCaption(cache.caption, cache.name, frameRate);
    // The text changes when the rate's shown digit does, not with every frame.
    if (cache.captionImage.isNull() || cache.caption != cache.imageText || colour != cache.imageColour ||
        cache.captionImage.width() != width) {
        cache.imageText = cache.caption;
        cache.imageColour = colour;
        cache.captionImage = QImage(width, captionHeight, QImage::Format_ARGB32_Premultiplied);
        cache.captionImage.fill(Qt::transparent);
        QPainter painter(&cache.captionImage);
        painter.setFont(captionFont_);
        painter.setPen(QColor::fromRgb(colour));
        painter.drawText(QRect(0, 0, width, captionHeight), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromUtf8(cache.caption.data(), static_cast<qsizetype>(cache.caption.size())));
    }
    return cache.captionImage;
}

const QImage& FrameDrawer::mirroredMark(SlotCache& cache, const QImage& mark, bool h, bool v) const
{
    if (cache.mark.isNull() || cache.markKey != mark.cacheKey() || cache.markH != h || cache.markV != v) {
        cache.mark = mark.mirrored(h, v);
        cache.markKey = mark.cacheKey();
        cache.markH = h;
        cache.markV = v;
    }
    return cache.mark;
}

FrameDrawer::FrameDrawer(const AppState& state, const OverlayBitmaps& bitmaps) : state_(state), bitmaps_(bitmaps)
{
    // The main window's bold caption font; fontconfig picks the nearest
    // sans-serif face where the named one is not installed.
    captionFont_.setFamily(QStringLiteral("MS Sans Serif"));
    captionFont_.setStyleHint(QFont::SansSerif);
    captionFont_.setPixelSize(fontPixelSize(18));
    captionFont_.setWeight(QFont::Bold);
}

QRect FrameDrawer::drawRect(QSize paneSize) const
{
    if (state_.settings.fixedImageSize.load() == 1) return {0, 0, 320, 240};
    return {QPoint(0, 0), paneSize};
}

void FrameDrawer::DrawFrame(const DecodedPicture& picture, PaneBuffer& pane, QRect rect, int slot, float frameRate,
                            SlotFlips flips)
{
    if (!validSlot(slot)) return;
    const auto i = static_cast<size_t>(slot);
    if (state_.settings.monitorEnabled[i].load() != 1) return;

    const bool mirrorH = flips.horizontal;
    const bool mirrorV = flips.vertical;
    const int cx = rect.width() > 0 ? rect.width() : 2;
    const int cy = rect.height() > 0 ? rect.height() : 2;
    rect.setSize({cx, cy});

    // The recording mark belongs to the picture and is mirrored with it.
    const QImage* mark = nullptr;
    if (state_.slotRecording(slot)) {
        if (state_.settings.scheduleMode.load() == 1 && state_.settings.scheduleRecord[i].load() == 1)
            mark = bitmaps_.find(overlay::recordSchedule);
        else if (state_.manualRecording[i].load() == 1)
            mark = bitmaps_.find(overlay::recordManual);
        const int32_t blink = blinkCounter_.fetch_add(1);
        if (mark != nullptr && blink % 2 != 0) mark = nullptr;
    }

    const QImage* button1 =
        bitmaps_.find(state_.viewEnlarged[i].load() == 1 ? overlay::viewEnlarged : overlay::viewSingle);
    const struct {
        const QImage* image;
        int gap;
    } buttons[] = {{button1, 0},
                   {bitmaps_.find(overlay::snapshot), 27},
                   {bitmaps_.find(overlay::flipHorizontal), 54},
                   {bitmaps_.find(overlay::flipVertical), 81}};

    SlotCache& cache = slots_[i];
    const QImage& caption = captionImage(cache, slot, frameRate, fromColorRef(state_.settings.textColour.load()).rgb(), cx);
    const QImage* shownMark = mark == nullptr || !(mirrorH || mirrorV) ? mark : &mirroredMark(cache, *mark, mirrorH, mirrorV);

    pane.paint([&](QImage& target) {
        stretchInto(target, rect, picture.pixels, mirrorH, mirrorV);
        if (shownMark != nullptr) {
            // Top-right corner of the unmirrored frame, carried over by the flips.
            const int w = shownMark->width();
            const int h = shownMark->height();
            const int left = mirrorH ? rect.left() : rect.left() + cx - w;
            const int top = mirrorV ? rect.top() + cy - h : rect.top();
            copyKeyed(target, {left, top}, *shownMark, qRgb(0, 0, 0), rect);
        }
        // From 16 pixels above the bottom, cut off by the frame's edge.
        blendOver(target, {rect.left(), rect.top() + cy - 16}, caption, rect);
        for (const auto& b : buttons) {
            if (b.image == nullptr) continue;
            const QPoint at(rect.left() + cx - b.image->width() - b.gap, rect.top() + cy - b.image->height());
            copyKeyed(target, at, *b.image, qRgb(255, 255, 255), rect);
        }
    });
}

}  // namespace cx
