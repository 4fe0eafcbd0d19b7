#include "ScrollPanel.h"

#include <QScrollBar>

namespace cx {

ScrollPanel::ScrollPanel(QWidget* parent) : QScrollArea(parent), content_(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(true);
    viewport()->setAutoFillBackground(false);
    content_->setAutoFillBackground(false);
    setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));
    setWidget(content_);
    verticalScrollBar()->setSingleStep(16);
}

void ScrollPanel::setContentHeight(int height)
{
    content_->setMinimumHeight(height);
    content_->setMaximumHeight(height);
}

}  // namespace cx
