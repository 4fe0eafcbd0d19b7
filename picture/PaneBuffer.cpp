#include "PaneBuffer.h"

namespace cx {

namespace {

QImage blackImage(QSize size)
{
    QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image.fill(Qt::black);
    return image;
}

}  // namespace

PaneBuffer::PaneBuffer(QSize size) : image_(blackImage(size))
{
    width_ = image_.width();
    height_ = image_.height();
}

void PaneBuffer::resize(QSize size)
{
    QImage fresh = blackImage(size);
    std::lock_guard lock(mutex_);
    image_.swap(fresh);
    width_ = image_.width();
    height_ = image_.height();
}

QSize PaneBuffer::size() const
{
    // Without the lock: a decoder sizes its picture while a paint holds it.
    // A resize between the two reads is drawn at the old size once.
    return {width_.load(), height_.load()};
}

void PaneBuffer::setRepaintRequest(RepaintRequest request)
{
    std::lock_guard lock(mutex_);
    request_ = std::move(request);
}

void PaneBuffer::read(const std::function<void(const QImage&)>& read) const
{
    std::lock_guard lock(mutex_);
    read(image_);
}

QImage PaneBuffer::image() const
{
    std::lock_guard lock(mutex_);
    return image_.copy();
}

}  // namespace cx
