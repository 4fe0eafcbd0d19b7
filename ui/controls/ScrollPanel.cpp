#include "ScrollPanel.h"

#include <QScrollBar>

namespace cx {

ScrollPanel::ScrollPanel(QWidget* parent) : QScrollArea(parent), content_(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    setWidget(content_);
    // After setWidget, which turns the content's fill on: the dialog's
    // background shows through both.
    viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(16);
}

void ScrollPanel::setContentHeight(int height)
{
    content_->setMinimumHeight(height);
    content_->setMaximumHeight(height);
}

}  // namespace cx
