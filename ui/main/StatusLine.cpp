#include "StatusLine.h"

#include <cstdio>

namespace cx {

std::string buildStatusText(int cameras, int recording, const std::string& suffix)
{
    char part[96];
    std::snprintf(part, sizeof part, cameras == 1 ? "         Monitoring %d camera" : "         Monitoring %d cameras",
                  cameras);
    std::string text = part;
    if (recording > 0) {
        std::snprintf(part, sizeof part, recording == 1 ? "...Recording %d camera" : "...Recording %d cameras",
                      recording);
        text += part;
        text += "...";
    } else {
        text += "...No camera is Currently recording. ";
    }
    return text + suffix;
}

std::string Marquee::step()
{
    const int length = static_cast<int>(text_.size());
    if (length == 0) return {};
    if (position_ >= length) position_ = 0;  // the text got shorter
    std::string shown;
    if (position_ + marqueeWidth < length) {
        shown = text_.substr(static_cast<size_t>(position_), marqueeWidth);
    } else {
        shown = text_.substr(static_cast<size_t>(position_));
        shown += text_.substr(0, static_cast<size_t>(position_ + marqueeWidth - length));
        if (shown.size() < static_cast<size_t>(marqueeWidth)) shown.resize(marqueeWidth, ' ');
    }
    position_ = (position_ + 1) % length;
    return shown;
}

}  // namespace cx
