#pragma once
// A panel whose content scrolls vertically; the content height is set in
// pixels. The dialog background shows through it.

#include <QScrollArea>

namespace cx {

class ScrollPanel : public QScrollArea {
    Q_OBJECT
public:
    explicit ScrollPanel(QWidget* parent = nullptr);
    // Where the rows go; its width follows the panel.
    QWidget* content() const { return content_; }
    void setContentHeight(int height);

private:
    QWidget* content_;
};

}  // namespace cx
