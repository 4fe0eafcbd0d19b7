#pragma once
// The main window's scrolling status line: the text it shows (cameras
// monitored, cameras recording, the skin's greeting) and the 50-character
// window that moves along it every half second.

#include <string>

namespace cx {

inline constexpr int marqueeWidth = 50;

// `cameras` configured, `recording` of them recording; `suffix` is the
// skin's "Status.txt".
std::string buildStatusText(int cameras, int recording, const std::string& suffix);

class Marquee {
public:
    void setText(std::string text) { text_ = std::move(text); }
    const std::string& text() const { return text_; }
    int position() const { return position_; }
    void reset() { position_ = 0; }
    // The 50 characters to show now, then one step on; empty (and no step)
    // for an empty text.
    std::string step();

private:
    std::string text_;
    int position_ = 0;
};

}  // namespace cx
