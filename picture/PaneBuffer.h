#pragma once
// A camera pane's back buffer: the worker composes frames into it, the
// pane's paint event only copies it out.

#include <atomic>
#include <functional>
#include <mutex>

#include <QImage>
#include <QSize>

namespace cx {

class PaneBuffer {
public:
    // Called after every finished drawing, on the drawing thread, without
    // the buffer's lock held. A widget posts itself a queued update here.
    using RepaintRequest = std::function<void()>;

    explicit PaneBuffer(QSize size = QSize(320, 240));

    // The pane's client size changed (UI thread); the content turns black.
    void resize(QSize size);
    QSize size() const;

    void setRepaintRequest(RepaintRequest request);

    // Runs `draw` on the back buffer under the buffer's lock, then asks for
    // a repaint. A template: a frame's drawing is not wrapped in a
    // std::function, which would allocate for every frame.
    template <class Draw>
    void paint(Draw&& draw)
    {
        RepaintRequest request;
        {
            std::lock_guard lock(mutex_);
            draw(image_);
            request = request_;
        }
        if (request) request();
    }

    // Runs `read` on the back buffer under the buffer's lock (paint events).
    void read(const std::function<void(const QImage&)>& read) const;

    // A copy of the back buffer.
    QImage image() const;

private:
    mutable std::mutex mutex_;
    QImage image_;             // guarded by mutex_
    std::atomic<int> width_{0};   // image_'s size, readable without mutex_
    std::atomic<int> height_{0};
    RepaintRequest request_;   // guarded by mutex_
};

}  // namespace cx
